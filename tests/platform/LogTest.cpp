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

TEST_F(LogTest, NeverHoldsMoreThanItsLineLimit)
{
    {
        std::ofstream out(files_.HostPath(log_.LogPath()));
        for (std::size_t i = 0; i < kMaxLogLines; ++i) out << "old " << i << "\r\n";
    }
    log_.LoadExisting();
    ASSERT_EQ(log_.Lines().size(), kMaxLogLines);
    EXPECT_EQ(log_.Lines().front(), "old 0");  // CR LF files load too
    log_.AddLogLine("new 1");
    log_.AddLogLine("new 2");
    const auto lines = FileLines();
    ASSERT_EQ(lines.size(), kMaxLogLines);
    EXPECT_EQ(lines.front(), "old 2");
    EXPECT_EQ(lines.back(), "2024-03-01 08:00:00: new 2");
}

TEST_F(LogTest, DisabledLogWritesNothingButTheMirrorStillHearsIt)
{
    std::vector<std::string> mirrored;
    log_.SetMirror([&](const TLogEntry& entry) { mirrored.push_back(entry.line); });
    log_.EnableLogfile = false;
    log_.AddLogLine("quiet");
    EXPECT_TRUE(log_.Lines().empty());
    EXPECT_FALSE(files_.FileExists(log_.LogPath()));
    EXPECT_EQ(mirrored, std::vector<std::string>{"2024-03-01 08:00:00: quiet"});
}

TEST_F(LogTest, TheMirrorGetsTheMessageApartWithItsPriorityButNotTheEmptyLineBetweenRuns)
{
    std::vector<TLogEntry> mirrored;
    log_.SetMirror([&](const TLogEntry& entry) { mirrored.push_back(entry); });
    log_.AddLogLine("");
    log_.AddLogLine("Opening application /usr/bin/halcyra");
    log_.AddLogLine("Error: Cannot create folder C:\\logs\\");
    log_.AddLogLine("Census full: all 2000 patients listed are present", TLogPriority::Error);  // the caller knows
    log_.AddLogLine("tab\there", TLogPriority::Warning);

    const std::vector<std::string> file = {
        "2024-03-01 08:00:00: ", "2024-03-01 08:00:00: Opening application /usr/bin/halcyra",
        "2024-03-01 08:00:00: Error: Cannot create folder C:\\logs\\",
        "2024-03-01 08:00:00: Census full: all 2000 patients listed are present", "2024-03-01 08:00:00: tab\\x09here"};
    EXPECT_EQ(FileLines(), file);
    ASSERT_EQ(mirrored.size(), 4u);
    const struct {
        std::string message;
        TLogPriority priority;
    } expected[] = {
        {"Opening application /usr/bin/halcyra", TLogPriority::Info},
        {"Error: Cannot create folder C:\\logs\\", TLogPriority::Error},
        {"Census full: all 2000 patients listed are present", TLogPriority::Error},
        {"tab\\x09here", TLogPriority::Warning},
    };
    for (std::size_t i = 0; i < mirrored.size(); ++i) {
        EXPECT_EQ(mirrored[i].line, file[i + 1]);
        EXPECT_EQ(mirrored[i].message, expected[i].message);
        EXPECT_EQ(mirrored[i].priority, expected[i].priority) << expected[i].message;
    }
}

// The lines the program writes without a priority of their own, as their producers word them.
TEST(LogPriorityOf, FailuresAreErrorsTroublesThatRunOnAreWarningsTheRestIsInformation)
{
    const struct {
        const char* message;
        TLogPriority priority;
    } cases[] = {
        {"Error: the data manager link is lost: the D-Bus session bus closed the connection", TLogPriority::Error},
        {"Start up - Cannot read registry file /etc/halcyra/HKEY_LOCAL_MACHINE.reg", TLogPriority::Error},
        {"Unable to start, please contact Tovarin", TLogPriority::Error},
        {"Data manager not available: there is no D-Bus session bus", TLogPriority::Error},
        {"Data manager SetCollectorState failed: timeout", TLogPriority::Error},
        {"Could not append 3 values to /data/4711/Halcyra.pil: No space left on device", TLogPriority::Error},
        {"Census not saved: Cannot write registry file", TLogPriority::Error},
        {"Relay server cannot listen on port 5001: address in use", TLogPriority::Error},
        {"Patient ID 4711: no patient could be created in C:\\KVD\\DATA\\4711; its values are not written",
         TLogPriority::Error},
        {"No monitor-data file could be opened for patient 4711 in C:\\KVD\\DATA\\4711: values are not written",
         TLogPriority::Error},
        {"/data/4711/Halcyra.pil has a checksum error.", TLogPriority::Error},
        {"Asynchronous socket error 10061 (127.0.0.1:8000: Connection refused)", TLogPriority::Error},
        {"Connect: bad host", TLogPriority::Error},
        {"Stop delimiters: disk full", TLogPriority::Error},
        {"Import: the capture cannot be read on after message 7: it has become shorter", TLogPriority::Error},
        // A damaged hive, even one whose problem says "cannot", is read as far as it goes.
        {"Registry file /home/ward/.config/halcyra/HKEY_CURRENT_USER.reg: damaged: cannot decode UTF-8",
         TLogPriority::Warning},
        {"Message dropped: longer than 1048576 bytes (1 dropped since start-up)", TLogPriority::Warning},
        {"Relay client: Message dropped: longer than 1048576 bytes (2 dropped since start-up)", TLogPriority::Warning},
        {"Patient 4711, HR: the value \"abc\" is not a number and is not written", TLogPriority::Warning},
        {"Patient ID 4711 is not written: its folder C:\\KVD\\DATA\\4711 belongs to patient ID 4712",
         TLogPriority::Warning},
        {"Patient 4711: the OBR-7 time 99991231 is more than a day from the clock; the time of arrival is used",
         TLogPriority::Warning},
        {"Patient 4711: the name of 300 characters is cut to 255 for each part", TLogPriority::Warning},
        {"A message brought more than 1000 numeric observations: the 5 behind them were left out (patient 4711)",
         TLogPriority::Warning},
        {"Census full: all 2000 patients listed are present; new patient 9 not added", TLogPriority::Warning},
        {"Census has room again; 3 message(s) of new patients were refused while it was full", TLogPriority::Warning},
        {"Clock set back by 1 h 0 min at 03:00:00; boundaries follow the clock", TLogPriority::Warning},
        {"Values are held back for 59 min 51 s, until the clock passes 02:59:51", TLogPriority::Warning},
        {"Cut away 10 bytes of a record cut short at offset 4096 of /data/4711/Halcyra.pil", TLogPriority::Warning},
        {"RelayAllowedClients: \"x\" is neither an address nor a subnet; ignored", TLogPriority::Warning},
        {"Relay client 10.0.0.9 is not in RelayAllowedClients; connection closed", TLogPriority::Warning},
        {"Expected lifetick is missing", TLogPriority::Warning},
        {"The data manager did not answer 4 of 9 calls before the end", TLogPriority::Warning},
        {"Values are not written (Read-only file system): 384 times for 64 patients in the last 60 s",
         TLogPriority::Warning},
        {"C:\\KVD\\DATA\\111\\Halcyra.pil of patient 111 is set aside because it is damaged (Stream read error); the "
         "values go to C:\\KVD\\DATA\\111\\Halcyra1.pil",
         TLogPriority::Warning},
        {"Values are written again (Read-only file system cleared): 1600 writes of 64 patients were lost in 4 min 10 s",
         TLogPriority::Info},
        {"Patient ID 111 has a new name: \"John Smith\" is now \"Johnny Smith\"; its series go on in the same file",
         TLogPriority::Info},
        {"Opening application /usr/bin/halcyra", TLogPriority::Info},
        {"Connected and collecting", TLogPriority::Info},
        {"Census saved again", TLogPriority::Info},
        {"Patient 4711 (Ann Smith, ticked) left the census: absent for a day while the station sent",
         TLogPriority::Info},
        {"The data manager is back: it is told the collection state and to read the files again", TLogPriority::Info},
        {"Relay server off: \"RelayAllowedClients\" names no client", TLogPriority::Info},
        {"Question: Do you really want to close - answered Yes", TLogPriority::Info},
    };
    for (const auto& c : cases) EXPECT_EQ(LogPriorityOf(c.message), c.priority) << c.message;
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
    log_.SetMirror([&](const TLogEntry& entry) { mirrored.push_back(entry.line); });
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
