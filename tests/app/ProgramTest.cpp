// The program as a user starts it: the settings listing and the service's start and SIGTERM.
#include "app/SettingsStore.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int CountEntries(const fs::path& dir)
{
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::recursive_directory_iterator(dir)) ++count;
    return count;
}

class ProgramTest : public ::testing::Test {
protected:
    ProgramTest()
    {
        fs::create_directories(dir_ / "registry");
        fs::create_directories(dir_ / "prefix");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HALCYRA_REGISTRY", QString::fromStdString((dir_ / "registry").string()));
        env.insert("HALCYRA_PREFIX", QString::fromStdString((dir_ / "prefix").string()));
        process_.setProcessEnvironment(env);
        process_.setProgram(HALCYRA_EXE);
    }

    test::TTempDir dir_;
    QProcess process_;
};

TEST_F(ProgramTest, SettingsListingShowsTheDefaultsAndWritesNothing)
{
    process_.setArguments({"--settings"});
    process_.start();
    ASSERT_TRUE(process_.waitForFinished(30000));
    EXPECT_EQ(process_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process_.exitCode(), 0);
    const QString out = QString::fromUtf8(process_.readAllStandardOutput());
    for (const char* line : {"Interval = 10 (default)", "TimerInterval = 1000 (default)",
                             "ClientSocketPort = 13999 (default)", "DebugFolder = C:\\TEMP\\ (default)",
                             "Automatic = true (default)", "DataSourceIsCentralStation = true (default)",
                             "SettingsRoot = HKEY_CURRENT_USER"})
        EXPECT_TRUE(out.contains(QString::fromUtf8(line) + "\n")) << line << "\n" << out.toStdString();
    EXPECT_EQ(CountEntries(dir_ / "registry"), 0);
    EXPECT_EQ(CountEntries(dir_ / "prefix"), 0);
}

TEST_F(ProgramTest, ServiceLogsItsStartAndEndsCleanlyOnSigterm)
{
    {
        TRegistry registry(dir_ / "registry" / "HKEY_CURRENT_USER.reg", dir_ / "registry" / "HKEY_LOCAL_MACHINE.reg");
        registry.CurrentUser().WriteDword(kProgramKey, "EnableLogfile", 1);
        registry.CurrentUser().WriteString(kProgramKey, "DebugFolder", "C:\\logs");
    }
    process_.setArguments({"--service", "NOVELGARD"});
    process_.start();
    ASSERT_TRUE(process_.waitForStarted(10000));
    const fs::path logFile = dir_ / "prefix" / "drive_c" / "logs" / "Halcyra Logfile.txt";
    const std::string expected = std::string("Opening application ") + HALCYRA_EXE + "\n";
    const fs::path hive = dir_ / "registry" / "HKEY_CURRENT_USER.reg";
    const bool started = QTest::qWaitFor(
        [&] {
            return ReadAll(logFile).find(expected) != std::string::npos &&
                   ReadAll(hive).find("\\Halcyra\\DefaultUnits]") != std::string::npos;
        },
        20000);
    EXPECT_TRUE(started) << ReadAll(logFile) << ReadAll(hive) << process_.readAllStandardError().toStdString();

    ::kill(static_cast<pid_t>(process_.processId()), SIGTERM);
    ASSERT_TRUE(process_.waitForFinished(20000));
    EXPECT_EQ(process_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process_.exitCode(), 0);
}

}  // namespace
}  // namespace halcyra
