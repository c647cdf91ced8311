// The program as a user starts it: the settings listing and the service's start and SIGTERM.
#include "settings/SettingsStore.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
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

    void EnableLog()
    {
        TRegistry registry(dir_ / "registry" / "HKEY_CURRENT_USER.reg", dir_ / "registry" / "HKEY_LOCAL_MACHINE.reg");
        registry.CurrentUser().WriteDword(kProgramKey, "EnableLogfile", 1);
        registry.CurrentUser().WriteString(kProgramKey, "DebugFolder", "C:\\logs");
    }

    fs::path LogFile() const { return dir_ / "prefix" / "drive_c" / "logs" / "Halcyra Logfile.txt"; }

    bool WaitForLog(const std::string& text)
    {
        return QTest::qWaitFor([&] { return ReadAll(LogFile()).find(text) != std::string::npos; }, 20000);
    }

    void TerminateAndExpectCleanExit()
    {
        ::kill(static_cast<pid_t>(process_.processId()), SIGTERM);
        ASSERT_TRUE(process_.waitForFinished(20000));
        EXPECT_EQ(process_.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process_.exitCode(), 0);
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

TEST_F(ProgramTest, SettingsListingShowsTheDataManagersDataFolder)
{
    {
        TRegistry registry(dir_ / "registry" / "HKEY_CURRENT_USER.reg", dir_ / "registry" / "HKEY_LOCAL_MACHINE.reg");
        registry.CurrentUser().WriteString("\\Software\\Tovarin\\Velgard\\2.0\\File Paths", "KVDData", "E:\\");
    }
    fs::create_directories(dir_ / "prefix" / "dosdevices");
    fs::create_directories(dir_ / "e-drive" / "Data");
    fs::create_directory_symlink(dir_ / "e-drive", dir_ / "prefix" / "dosdevices" / "e:");
    process_.setArguments({"--settings"});
    process_.start();
    ASSERT_TRUE(process_.waitForFinished(30000));
    const QString out = QString::fromUtf8(process_.readAllStandardOutput());
    EXPECT_TRUE(out.contains("DataFolder = E:\\DATA\\\n")) << out.toStdString();
    EXPECT_TRUE(out.contains(QString::fromStdString("DataFolder host path = " + (dir_ / "prefix" / "dosdevices" / "e:" / "Data").string() + "\n")))
        << out.toStdString();
    EXPECT_TRUE(out.contains("CompatibilityMode = false\n"));
}

TEST_F(ProgramTest, ServiceLogsItsStartAndEndsCleanlyOnSigterm)
{
    EnableLog();
    process_.setArguments({"--service", "NOVELGARD"});
    process_.start();
    ASSERT_TRUE(process_.waitForStarted(10000));
    const std::string expected = std::string("Opening application ") + HALCYRA_EXE + "\n";
    const fs::path hive = dir_ / "registry" / "HKEY_CURRENT_USER.reg";
    const bool started = QTest::qWaitFor(
        [&] {
            return ReadAll(LogFile()).find(expected) != std::string::npos &&
                   ReadAll(hive).find("\\Halcyra\\DefaultUnits]") != std::string::npos;
        },
        20000);
    EXPECT_TRUE(started) << ReadAll(LogFile()) << ReadAll(hive) << process_.readAllStandardError().toStdString();
    TerminateAndExpectCleanExit();
}

TEST_F(ProgramTest, ServiceWithoutTheDataManagerSaysSoAndFails)
{
    EnableLog();
    process_.setArguments({"--service"});
    process_.start();
    ASSERT_TRUE(process_.waitForFinished(30000));
    EXPECT_EQ(process_.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(process_.exitCode(), 0);
    EXPECT_TRUE(process_.readAllStandardError().contains("Unable to start, please contact Tovarin"));
    EXPECT_NE(ReadAll(LogFile()).find(": Unable to start, please contact Tovarin\n"), std::string::npos);
}

TEST_F(ProgramTest, ServiceRunsWhileTheDataManagerIsThere)
{
    if (!QDBusConnection::sessionBus().isConnected()) GTEST_SKIP() << "no session bus";
    QProcess standin;
    standin.setProgram(VELGARD_STANDIN_EXE);
    standin.setArguments({"--output", QString::fromStdString((dir_ / "calls.jsonl").string())});
    standin.start();
    ASSERT_TRUE(standin.waitForStarted(10000));
    ASSERT_TRUE(QTest::qWaitFor(
        [] { return QDBusConnection::sessionBus().interface()->isServiceRegistered("com.tovarin.Velgard").value(); },
        20000));

    EnableLog();
    process_.setArguments({"--service"});
    process_.start();
    ASSERT_TRUE(process_.waitForStarted(10000));
    EXPECT_TRUE(WaitForLog(std::string("Opening application ") + HALCYRA_EXE)) << ReadAll(LogFile());
    // A start-up that failed would have ended with a non-zero code instead of the clean one.
    TerminateAndExpectCleanExit();

    ::kill(static_cast<pid_t>(standin.processId()), SIGTERM);
    EXPECT_TRUE(standin.waitForFinished(20000));
}

}  // namespace
}  // namespace halcyra
