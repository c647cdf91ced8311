#include "platform/Log.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace halcyra {
namespace {

class LogTest : public ::testing::Test {
protected:
    LogTest() : drives_(dir_.Path()), files_(drives_), clock_(EncodeDateTime(2024, 3, 1, 8, 0, 0)), log_(clock_, files_)
    {
        files_.ForceDirectories("C:\\logs");
        log_.SetLogPath("C:\\logs\\Halcyra Logfile.txt");
        log_.EnableLogfile = true;
    }

    std::vector<std::string> FileLines()
    {
        std::ifstream in(files_.HostPath(log_.LogPath()));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }

    test::TTempDir dir_;
    TDriveMapping drives_;
    TFileSystem files_;
    TManualClock clock_;
    TLog log_;
};

TEST_F(LogTest, RunsOfOneMessageCollapseToFirstEllipsisAndLatest)
{
    log_.AddLogLine("before");
    for (int i = 0; i < 5; ++i) {
        clock_.AdvanceSeconds(1);
        log_.AddLogLine("Connection lost");
    }
    log_.AddLogLine("after");
    const std::vector<std::string> expected = {"2024-03-01 08:00:00: before", "2024-03-01 08:00:01: Connection lost",
                                               "...", "2024-03-01 08:00:05: Connection lost",
                                               "2024-03-01 08:00:05: after"};
    EXPECT_EQ(log_.Lines(), expected);
    EXPECT_EQ(FileLines(), expected);
}

TEST_F(LogTest, EmptyMessageAlwaysAddsALineAndMidnightHasNoTime)
{
    clock_.Set(EncodeDateTime(2024, 3, 2));
    for (int i = 0; i < 4; ++i) log_.AddLogLine("");
    ASSERT_EQ(log_.Lines().size(), 4u);
    for (const auto& line : log_.Lines()) EXPECT_EQ(line, "2024-03-02: ");
}

TEST_F(LogTest, NeverHoldsMoreThanTwoHundredLines)
{
    {
        std::ofstream out(files_.HostPath(log_.LogPath()));
        for (int i = 0; i < 200; ++i) out << "old " << i << "\r\n";
    }
    log_.LoadExisting();
    ASSERT_EQ(log_.Lines().size(), 200u);
    EXPECT_EQ(log_.Lines().front(), "old 0");  // CR LF files load too
    log_.AddLogLine("new 1");
    log_.AddLogLine("new 2");
    const auto lines = FileLines();
    ASSERT_EQ(lines.size(), 200u);
    EXPECT_EQ(lines.front(), "old 2");
    EXPECT_EQ(lines.back(), "2024-03-01 08:00:00: new 2");
}

TEST_F(LogTest, DisabledLogWritesNothingButTheMirrorStillHearsIt)
{
    std::vector<std::string> mirrored;
    log_.SetMirror([&](const std::string& line) { mirrored.push_back(line); });
    log_.EnableLogfile = false;
    log_.AddLogLine("quiet");
    EXPECT_TRUE(log_.Lines().empty());
    EXPECT_FALSE(files_.FileExists(log_.LogPath()));
    EXPECT_EQ(mirrored, std::vector<std::string>{"2024-03-01 08:00:00: quiet"});
}

TEST_F(LogTest, AFailedWriteKeepsTheLinesForTheNextOne)
{
    log_.SetLogPath("C:\\missing\\Halcyra Logfile.txt");
    EXPECT_NO_THROW(log_.AddLogLine("first"));
    files_.ForceDirectories("C:\\missing");
    log_.AddLogLine("second");
    EXPECT_EQ(FileLines().size(), 2u);
}

TEST_F(LogTest, ALogThatDoesNotExistYetLoadsEmptyButAnUnreadableOneIsAnError)
{
    EXPECT_NO_THROW(log_.LoadExisting());
    EXPECT_TRUE(log_.Lines().empty());
    files_.ForceDirectories(log_.LogPath());  // a folder where the file should be
    EXPECT_THROW(log_.LoadExisting(), std::exception);
}

TEST_F(LogTest, ControlCharactersAreEscapedSoAMessageIsOneLine)
{
    std::vector<std::string> mirrored;
    log_.SetMirror([&](const std::string& line) { mirrored.push_back(line); });
    using namespace std::string_literals;
    log_.AddLogLine(
        "Patient Ann\r\n2024-03-01 08:00:00: Opening application \x1b[2J\x7f\x9d\x00"
        "end"s);
    log_.AddLogLine("C:\\KVD\\DATA\\ \xe4\x80");  // backslashes and printable single-byte text stay
    const std::vector<std::string> expected = {
        "2024-03-01 08:00:00: Patient Ann\\x0D\\x0A2024-03-01 08:00:00: Opening application \\x1B[2J\\x7F\\x9D\\x00end",
        "2024-03-01 08:00:00: C:\\KVD\\DATA\\ \xe4\x80"};
    EXPECT_EQ(FileLines(), expected);
    EXPECT_EQ(mirrored, expected);
}

}  // namespace
}  // namespace halcyra
