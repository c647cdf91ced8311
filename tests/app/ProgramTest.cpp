// The program as a user starts it: the settings listing and the service's start and SIGTERM.
#include "platform/Registry.h"
#include "settings/SettingsStore.h"
#include "support/RegFileText.h"
#include "support/TempDir.h"
#include "ui/InstanceLock.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

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

    // Runs the program to its end and gives what it wrote to standard output and standard error.
    std::pair<QString, QString> RunToEnd(const QStringList& arguments)
    {
        process_.setArguments(arguments);
        process_.start();
        EXPECT_TRUE(process_.waitForFinished(30000)) << arguments.join(' ').toStdString();
        return {QString::fromUtf8(process_.readAllStandardOutput()),
                QString::fromUtf8(process_.readAllStandardError())};
    }

    void ChangeEnvironment(const std::function<void(QProcessEnvironment&)>& change)
    {
        QProcessEnvironment env = process_.processEnvironment();
        change(env);
        process_.setProcessEnvironment(env);
    }

    // The program runs on this X display, as on a desktop.
    void UseDisplay(const QString& display)
    {
        ChangeEnvironment([&](QProcessEnvironment& env) {
            env.insert("DISPLAY", display);
            env.insert("QT_QPA_PLATFORM", "xcb");
        });
    }

    // A session bus address where nothing listens.
    void WithoutSessionBus()
    {
        ChangeEnvironment([&](QProcessEnvironment& env) {
            env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromStdString("unix:path=" + (dir_ / "no-bus").string()));
        });
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
    for (const char* line :
         {"Interval = 10 (default)", "TimerInterval = 1000 (default)", "ClientSocketPort = 13999 (default)",
          "DebugFolder = C:\\TEMP\\ (default)", "Automatic = true (default)",
          "DataSourceIsCentralStation = false (default)", "SettingsRoot = HKEY_CURRENT_USER"})
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
    EXPECT_TRUE(out.contains(QString::fromStdString(
        "DataFolder host path = " + (dir_ / "prefix" / "dosdevices" / "e:" / "Data").string() + "\n")))
        << out.toStdString();
    EXPECT_TRUE(out.contains("CompatibilityMode = false\n"));
}

TEST_F(ProgramTest, SettingsListingReadsExpandableStringsAndEscapesControlCharacters)
{
    test::WriteHiveFile(dir_ / "registry" / "HKEY_CURRENT_USER.reg", "HKEY_CURRENT_USER",
                        "Software\\Tovarin\\Velgard\\2.0\\File Paths",
                        test::ExpandStringLine("KVDData", "E:\\Velgard\\"));
    {
        TRegistry registry(dir_ / "registry" / "HKEY_CURRENT_USER.reg", dir_ / "registry" / "HKEY_LOCAL_MACHINE.reg");
        registry.CurrentUser().WriteString(kProgramKey, "IPString", "host\r\nAutoStart = true\x1b[2J");
        registry.CurrentUser().WriteString(kProgramKey, "Patient1", "123\tAnn\nSmith");
    }
    const auto [out, err] = RunToEnd({"--settings"});
    EXPECT_EQ(process_.exitCode(), 0) << err.toStdString();
    for (const char* line :
         {"DataFolder = E:\\Velgard\\DATA\\\n", "IPString = host\\x0D\\x0AAutoStart = true\\x1B[2J\n",
          "Patient1 = 123\\x09Ann\\x0ASmith\n", "AutoStart = false (default)\n"})
        EXPECT_TRUE(out.contains(QString::fromUtf8(line))) << line << "\n" << out.toStdString();
    EXPECT_FALSE(out.contains(QChar(0x1B)));
}

TEST_F(ProgramTest, HelpAndVersionNeedNoDisplay)
{
    ChangeEnvironment([](QProcessEnvironment& env) {
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
    });
    const auto [help, helpErr] = RunToEnd({"--help"});
    EXPECT_EQ(process_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process_.exitCode(), 0) << helpErr.toStdString();
    const std::vector<std::string> expected = {"--service",
                                               "--settings",
                                               "--import <FILE>",
                                               "imports a captured HL7 stream into the patient files",
                                               "--registry <DIR>",
                                               "--prefix <DIR>",
                                               "--status",
                                               "--json",
                                               "--version",
                                               "NOVELGARD",
                                               "HALCYRA_REGISTRY",
                                               "HALCYRA_PREFIX",
                                               "XDG_CONFIG_HOME",
                                               "XDG_DATA_HOME",
                                               "~/.config/halcyra/",
                                               "~/.local/share/halcyra",
                                               "/etc/halcyra/HKEY_LOCAL_MACHINE.reg",
                                               (dir_ / "registry" / "HKEY_CURRENT_USER.reg").string(),
                                               (dir_ / "prefix").string()};
    // Qt wraps the descriptions: compare with runs of blanks and line breaks as one blank.
    const QString flowing = help.simplified();
    for (const std::string& text : expected)
        EXPECT_TRUE(flowing.contains(QString::fromStdString(text), Qt::CaseInsensitive)) << text << "\n"
                                                                                         << help.toStdString();

    const auto [version, versionErr] = RunToEnd({"--version"});
    EXPECT_EQ(process_.exitCode(), 0) << versionErr.toStdString();
    EXPECT_EQ(version.toStdString(), std::string("halcyra ") + HALCYRA_VERSION + "\n");
}

// Checked before any window or application object exists: one line on standard error, never Qt's abort.
TEST_F(ProgramTest, AnUnknownOptionOrAMissingDisplayIsOneLine)
{
    const QString noDisplay = "halcyra: no display: run `halcyra --service` for a headless run\n";
    const struct {
        const char* display;   // DISPLAY, "" for none
        const char* platform;  // QT_QPA_PLATFORM, "" for none
        QStringList arguments;
        int exitCode;
        QString line;  // standard error holds exactly this line, or a line containing it
    } cases[] = {
        {"", "", {}, 1, noDisplay},
        {"", "", {"NOVELGARD"}, 1, noDisplay},
        {"", "", {"--bogus"}, 2, "bogus"},
        {"", "", {"--service", "--bogus"}, 2, "bogus"},
        {"", "", {"--settings", "-x"}, 2, "'x'"},
        {"", "", {"--import"}, 2, "import"},
        {"", "", {"--json"}, 2, "--json is given with --status only"},
        // What follows "--" is no option: not a service, so a display is wanted.
        {"", "", {"--", "--service"}, 1, noDisplay},
        // A wrong setting is refused before anything is stored.
        {"",
         "",
         {"--set", "Colour=blue"},
         2,
         "halcyra: there is no setting \"Colour\" (halcyra --settings lists them)\n"},
        {"",
         "",
         {"--set", "AutoStart=1", "--set", "ClientSocketPort=70000"},
         2,
         "halcyra: ClientSocketPort takes a whole number from 1 to 65535, not \"70000\"\n"},
        // Asking needs no display, and with nothing running writes nothing.
        {"", "", {"--status"}, 1, "no instance is running on the settings in "},
        {"", "", {"--status", "--json"}, 1, "no instance is running on the settings in "},
        {"", "offscreen", {"--bogus"}, 2, "bogus"},
        {":99", "xcb", {"--bogus"}, 2, "bogus"},
        // Qt's own options are not the program's unknown ones.
        {"", "", {"-platform", "offscreen", "--bogus"}, 2, "'bogus'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString() + " DISPLAY=" + c.display + " QT_QPA_PLATFORM=" + c.platform);
        ChangeEnvironment([&](QProcessEnvironment& env) {
            for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
            if (*c.display != '\0') env.insert("DISPLAY", c.display);
            if (*c.platform != '\0') env.insert("QT_QPA_PLATFORM", c.platform);
        });
        const auto [out, err] = RunToEnd(c.arguments);
        EXPECT_EQ(process_.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process_.exitCode(), c.exitCode) << err.toStdString();
        EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
        EXPECT_TRUE(err.startsWith("halcyra: ")) << err.toStdString();
        EXPECT_TRUE(c.line.endsWith('\n') ? err == c.line : err.contains(c.line)) << err.toStdString();
        EXPECT_TRUE(out.isEmpty()) << out.toStdString();
    }
    EXPECT_EQ(CountEntries(dir_ / "registry"), 0);
    EXPECT_EQ(CountEntries(dir_ / "prefix"), 0);
}

TEST_F(ProgramTest, FirstServiceRunPrintsNoErrorOrWarning)
{
    fs::create_directories(dir_ / "tmp");
    ChangeEnvironment([&](QProcessEnvironment& env) {
        env.remove("XDG_RUNTIME_DIR");
        env.insert("TMPDIR", QString::fromStdString((dir_ / "tmp").string()));
    });
    process_.setArguments({"--service", "NOVELGARD"});
    process_.start();
    ASSERT_TRUE(process_.waitForStarted(10000));
    const fs::path hive = dir_ / "registry" / "HKEY_CURRENT_USER.reg";
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return ReadAll(hive).find("\\Halcyra\\DefaultUnits]") != std::string::npos; }, 20000));
    TerminateAndExpectCleanExit();
    const QString output = QString::fromUtf8(process_.readAllStandardOutput() + process_.readAllStandardError());
    EXPECT_TRUE(output.contains("Opening application")) << output.toStdString();
    EXPECT_FALSE(output.contains("error", Qt::CaseInsensitive)) << output.toStdString();
    EXPECT_FALSE(output.contains("warning", Qt::CaseInsensitive)) << output.toStdString();
}

// systemd names the stream it gives the service's standard error in JOURNAL_STREAM ("DEVICE:INODE"); a file
// plays that stream here.
TEST_F(ProgramTest, OnTheJournalEachLineCarriesItsPriorityAndNoTimeStampElsewhereTheLogFilesLine)
{
    quint16 closed = 0;
    {
        QTcpServer server;
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        closed = server.serverPort();
    }
    {
        TRegistry registry(dir_ / "registry" / "HKEY_CURRENT_USER.reg", dir_ / "registry" / "HKEY_LOCAL_MACHINE.reg");
        registry.CurrentUser().WriteDword(kProgramKey, "DataSourceIsCentralStation", 1);
        registry.CurrentUser().WriteDword(kProgramKey, "IsAddress", 1);
        registry.CurrentUser().WriteString(kProgramKey, "IPString", "127.0.0.1");
    }
    const QString refused = QString("Asynchronous socket error 10061 (127.0.0.1:%1: Connection refused)").arg(closed);
    const QString stamp = R"(\d{4}-\d\d-\d\d( \d\d:\d\d:\d\d)?: )";
    const struct {
        bool journal;
        QString anyPrefix;  // of every line
        QString errorPrefix;
        QString infoPrefix;
    } cases[] = {
        {true, "<[346]>", "<3>", "<6>"},
        {false, stamp, stamp, stamp},
    };
    for (const auto& c : cases) {
        const fs::path err = dir_ / (c.journal ? "journal" : "elsewhere");
        std::ofstream(err).close();
        struct stat st {};
        ASSERT_EQ(::stat(err.c_str(), &st), 0);
        // Elsewhere: the variable names another stream, as when it is inherited by a child whose output
        // was redirected.
        const QString stream = QString("%1:%2").arg(st.st_dev).arg(st.st_ino + (c.journal ? 0 : 1));
        ChangeEnvironment([&](QProcessEnvironment& env) { env.insert("JOURNAL_STREAM", stream); });
        process_.setStandardErrorFile(QString::fromStdString(err.string()));
        process_.setArguments({"--service", "--cs-port", QString::number(closed), "NOVELGARD"});
        process_.start();
        ASSERT_TRUE(process_.waitForStarted(10000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return ReadAll(err).find("socket error") != std::string::npos; }, 20000))
            << ReadAll(err);
        TerminateAndExpectCleanExit();

        const std::string text = ReadAll(err);
        QStringList lines = QString::fromStdString(text).split('\n');
        ASSERT_EQ(lines.takeLast(), "") << text;
        const auto count = [&](const QString& pattern) {
            const QRegularExpression re(QRegularExpression::anchoredPattern(pattern));
            return std::count_if(lines.begin(), lines.end(), [&](const QString& l) { return re.match(l).hasMatch(); });
        };
        // Not one empty line, nor one without the priority (journal) or the time stamp (elsewhere).
        EXPECT_EQ(count(c.anyPrefix + R"(\S.*)"), lines.size()) << text;
        EXPECT_EQ(count(c.errorPrefix + QRegularExpression::escape(refused)), 1) << text;
        EXPECT_EQ(count(c.infoPrefix + "Opening application .+"), 1) << text;
    }
}

TEST_F(ProgramTest, WithoutASessionBusTheServiceSaysSoAndNamesTheWayOut)
{
    WithoutSessionBus();
    const auto [out, err] = RunToEnd({"--service"});
    EXPECT_EQ(process_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process_.exitCode(), 1);
    for (const char* text :
         {"Unable to start, please contact Tovarin", "no D-Bus session bus", "systemctl --user", "NOVELGARD"})
        EXPECT_TRUE(err.contains(QString::fromUtf8(text))) << text << "\n" << err.toStdString();
}

TEST_F(ProgramTest, SignalsEndTheRunWhileTheStartRefusalBoxIsOpen)
{
    EnableLog();
    WithoutSessionBus();
    ChangeEnvironment([](QProcessEnvironment& env) { env.insert("QT_QPA_PLATFORM", "offscreen"); });
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        fs::remove(LogFile());
        process_.setArguments({});
        process_.start();
        ASSERT_TRUE(process_.waitForStarted(10000));
        // The box opens right after this line is logged; a signal arriving earlier must end the run as well.
        EXPECT_TRUE(WaitForLog("Data manager not available")) << ReadAll(LogFile());
        ::kill(static_cast<pid_t>(process_.processId()), signal);
        EXPECT_TRUE(process_.waitForFinished(5000)) << "still running with the box open";
        EXPECT_EQ(process_.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process_.exitCode(), 1);  // start-up was refused
        process_.kill();
        process_.waitForFinished(10000);
    }
}

// A private X server for the tests that look at the program's windows as a desktop sees them.
class TXvfb {
public:
    // A display number of this process's own rather than the lowest free one: a display just given up by
    // another server (a test running beside this one) can lose its socket to that server's clean-up.
    TXvfb()
    {
        const int first = 100 + static_cast<int>(::getpid() % 800);
        for (int display = first; display < first + 10 && display_.isEmpty(); ++display) {
            server_.setProgram("Xvfb");
            server_.setArguments(
                {":" + QString::number(display), "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
            server_.start();
            if (!server_.waitForStarted(10000)) return;
            if (!QTest::qWaitFor([&] { return server_.canReadLine() || server_.state() != QProcess::Running; }, 20000))
                return;
            const QByteArray number = server_.readLine().trimmed();
            if (!number.isEmpty()) display_ = ":" + QString::fromLatin1(number);
            if (display_.isEmpty()) server_.waitForFinished(5000);
        }
    }
    ~TXvfb()
    {
        if (server_.state() == QProcess::NotRunning) return;
        ::kill(static_cast<pid_t>(server_.processId()), SIGTERM);
        server_.waitForFinished(10000);
    }
    const QString& Display() const { return display_; }

    // The output of an X client (xwininfo, xprop) run on this display.
    QString Run(const QString& program, const QStringList& arguments) const
    {
        QProcess client;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display_);
        client.setProcessEnvironment(env);
        client.start(program, arguments);
        client.waitForFinished(10000);
        return QString::fromUtf8(client.readAllStandardOutput());
    }

private:
    QProcess server_;
    QString display_;
};

TEST_F(ProgramTest, OnADesktopTheCaptionIsExactlyTheTitleAndTheWindowHasTheIcon)
{
    TXvfb xvfb;
    if (xvfb.Display().isEmpty()) GTEST_SKIP() << "no Xvfb";
    UseDisplay(xvfb.Display());
    process_.setArguments({"NOVELGARD"});
    process_.start();
    ASSERT_TRUE(process_.waitForStarted(10000));
    const QString caption = QString("Central Station Data Client (Ver. ") + HALCYRA_VERSION + ")";
    QString tree;
    const bool shown = QTest::qWaitFor(
        [&] {
            tree = xvfb.Run("xwininfo", {"-root", "-tree"});
            return tree.contains("Central Station Data Client");
        },
        20000);
    ASSERT_TRUE(shown) << tree.toStdString() << process_.readAllStandardError().toStdString();
    // Qt would append the application's display name after a dash.
    EXPECT_TRUE(tree.contains("\"" + caption + "\"")) << tree.toStdString();

    const QString icon = xvfb.Run("xprop", {"-name", caption, "_NET_WM_ICON"});
    EXPECT_TRUE(icon.startsWith("_NET_WM_ICON(CARDINAL) = ")) << icon.toStdString();

    TerminateAndExpectCleanExit();
}

TEST_F(ProgramTest, ASecondStartBringsTheFirstWindowForwardAndEndsAtOnce)
{
    TXvfb xvfb;
    if (xvfb.Display().isEmpty()) GTEST_SKIP() << "no Xvfb";
    UseDisplay(xvfb.Display());
    EnableLog();
    process_.setArguments({"NOVELGARD"});
    process_.start();
    ASSERT_TRUE(process_.waitForStarted(10000));
    const QString caption = QString("Central Station Data Client (Ver. ") + HALCYRA_VERSION + ")";
    const auto windowShown = [&] { return xvfb.Run("xwininfo", {"-root", "-tree"}).contains("\"" + caption + "\""); };
    ASSERT_TRUE(QTest::qWaitFor(windowShown, 20000)) << process_.readAllStandardError().toStdString();
    ASSERT_TRUE(WaitForLog("Opening application"));

    QProcess second;
    second.setProcessEnvironment(process_.processEnvironment());
    second.setProgram(HALCYRA_EXE);
    second.setArguments({"NOVELGARD"});
    QElapsedTimer clock;
    clock.start();
    second.start();
    ASSERT_TRUE(second.waitForFinished(5000)) << "the second start is still running";
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    // The second start wrote nothing: the log has one start only.
    const std::string log = ReadAll(LogFile());
    EXPECT_EQ(log.find("Opening application"), log.rfind("Opening application")) << log;

    EXPECT_EQ(process_.state(), QProcess::Running);
    EXPECT_TRUE(windowShown());
    TerminateAndExpectCleanExit();
}

TEST_F(ProgramTest, NoSecondInstanceRunsOnTheSameSettingsWhateverItsMode)
{
    EnableLog();
    {
        TRegistry registry(dir_ / "registry" / "HKEY_CURRENT_USER.reg", dir_ / "registry" / "HKEY_LOCAL_MACHINE.reg");
        registry.CurrentUser().WriteDword(kProgramKey, "AutoStart", 1);
        registry.CurrentUser().WriteDword(kProgramKey, "AutoCreate", 1);
    }
    // An import of this would create the patient's folder.
    const fs::path capture = dir_ / "capture.hl7";
    std::ofstream(capture, std::ios::binary)
        << "\x0BMSH|^~\\&|CS|WARD|||20240506120000||ORU^R01|1|P|2.3\rPID|1||P-1||DOE^JANE\rPV1|1|I|BED\r"
           "OBR|1|||MON|||20240506120000\rOBX|1|NM|0002-4182^HR^MDIL||72|bpm\r\x1C\r";
    const fs::path hive = dir_ / "registry" / "HKEY_CURRENT_USER.reg";
    const auto started = [](const fs::path& file) {
        return QTest::qWaitFor([&] { return ReadAll(file).find("\\Halcyra\\DefaultUnits]") != std::string::npos; },
                               20000);
    };

    process_.setArguments({"--service", "NOVELGARD"});
    process_.start();
    ASSERT_TRUE(process_.waitForStarted(10000));
    ASSERT_TRUE(started(hive)) << process_.readAllStandardError().toStdString();
    ASSERT_TRUE(WaitForLog("Opening application"));
    const std::string expected = "halcyra: another instance (service, PID " + std::to_string(process_.processId()) +
                                 ") is running on the settings in " + fs::canonical(hive).string() + "; not starting\n";

    QProcess second;
    second.setProgram(HALCYRA_EXE);
    QProcessEnvironment env = process_.processEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    second.setProcessEnvironment(env);
    // The registry named three ways: by the environment, by the option, by a path with a dot in it.
    const QString registryOption = QString::fromStdString((dir_ / "." / "registry").string());
    for (const QStringList& arguments :
         {QStringList{"--service", "NOVELGARD"}, QStringList{"--service", "--registry", registryOption, "NOVELGARD"},
          QStringList{"--import", QString::fromStdString(capture.string()), "NOVELGARD"}, QStringList{"NOVELGARD"}}) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        second.setArguments(arguments);
        second.start();
        ASSERT_TRUE(second.waitForFinished(30000));
        EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.exitCode(), 1);
        EXPECT_EQ(second.readAllStandardError().toStdString(), expected);
        EXPECT_EQ(second.readAllStandardOutput().toStdString(), "");
    }
    // None of them wrote: one start in the log, no patient folder from the import.
    const std::string log = ReadAll(LogFile());
    EXPECT_EQ(log.find("Opening application"), log.rfind("Opening application")) << log;
    EXPECT_FALSE(fs::exists(dir_ / "prefix" / "drive_c" / "KVD" / "DATA" / "P-1"));

    // A service on other settings runs beside it.
    fs::create_directories(dir_ / "other-registry");
    QProcess other;
    other.setProgram(HALCYRA_EXE);
    env.insert("HALCYRA_REGISTRY", QString::fromStdString((dir_ / "other-registry").string()));
    env.insert("HALCYRA_PREFIX", QString::fromStdString((dir_ / "other-prefix").string()));
    other.setProcessEnvironment(env);
    other.setArguments({"--service", "NOVELGARD"});
    other.start();
    ASSERT_TRUE(other.waitForStarted(10000));
    EXPECT_TRUE(started(dir_ / "other-registry" / "HKEY_CURRENT_USER.reg"))
        << other.readAllStandardError().toStdString();
    EXPECT_EQ(other.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(other.processId()), SIGTERM);
    ASSERT_TRUE(other.waitForFinished(20000));
    EXPECT_EQ(other.exitCode(), 0);

    EXPECT_EQ(process_.state(), QProcess::Running);
    TerminateAndExpectCleanExit();
}

// The same user (or anyone who can reach the socket) floods it with more connections than the service has
// descriptors: the service keeps to a few peers, `--status` still gets its answer and a second service is
// still refused.
TEST_F(ProgramTest, AFloodOfConnectionsTakesNeitherTheGuardNorTheStatusAway)
{
    EnableLog();
    constexpr int kDescriptors = 64;
    // The limit is the service's alone: a shell sets it and becomes the service.
    process_.setProgram("/bin/sh");
    process_.setArguments(
        {"-c", QStringLiteral("ulimit -n %1 && exec \"$0\" --service NOVELGARD").arg(kDescriptors), HALCYRA_EXE});
    process_.start();
    ASSERT_TRUE(process_.waitForStarted(10000));
    ASSERT_TRUE(WaitForLog("Opening application")) << process_.readAllStandardError().toStdString();
    TInstancePaths paths;
    std::string error;
    ASSERT_TRUE(FindInstancePaths(dir_ / "registry" / "HKEY_CURRENT_USER.reg", false, paths, error)) << error;
    ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(paths.socket); }, 20000));

    std::vector<int> flood;
    for (int i = 0; i < 4 * kDescriptors; ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, paths.socket.c_str(), sizeof address.sun_path - 1);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
            flood.push_back(fd);
        else
            ::close(fd);
    }
    EXPECT_GT(flood.size(), static_cast<std::size_t>(kDescriptors));

    // The flood's silent peers are let go within seconds; the status is answered then.
    const auto ask = [&](const QStringList& arguments) {
        QProcess other;
        QProcessEnvironment env = process_.processEnvironment();
        other.setProcessEnvironment(env);
        other.start(HALCYRA_EXE, arguments);
        EXPECT_TRUE(other.waitForFinished(30000));
        return std::make_tuple(other.exitCode(), QString::fromUtf8(other.readAllStandardOutput()),
                               QString::fromUtf8(other.readAllStandardError()));
    };
    const QString pid = QString::number(process_.processId());
    QString lastErr;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const auto [code, out, err] = ask({"--status"});
            lastErr = err;
            return code == 3 && out.startsWith("Halcyra service, PID " + pid + ", at ");
        },
        20000))
        << lastErr.toStdString();
    const auto [code, out, err] = ask({"--service", "NOVELGARD"});
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(err.startsWith("halcyra: another instance (service, PID " + pid + ") is running")) << err.toStdString();

    std::error_code gone;
    int descriptors = 0;
    for (fs::directory_iterator entry("/proc/" + pid.toStdString() + "/fd", gone);
         !gone && entry != fs::directory_iterator(); entry.increment(gone))
        ++descriptors;
    EXPECT_FALSE(gone) << gone.message();
    EXPECT_LT(descriptors, kDescriptors);
    for (const int fd : flood) ::close(fd);
    EXPECT_EQ(ReadAll(LogFile()).find("instance socket"), std::string::npos) << ReadAll(LogFile());
    TerminateAndExpectCleanExit();
}

TEST_F(ProgramTest, TheGermanModuleBesideTheProgramIsUsedForLanguage1031)
{
    {
        TRegistry registry(dir_ / "registry" / "HKEY_CURRENT_USER.reg", dir_ / "registry" / "HKEY_LOCAL_MACHINE.reg");
        registry.CurrentUser().WriteDword("Software\\Tovarin\\Velgard\\2.0\\General", "Language", 1031);
    }
    WithoutSessionBus();
    const auto [out, err] = RunToEnd({"--service"});
    EXPECT_EQ(process_.exitCode(), 1);
    EXPECT_TRUE(err.contains("Start nicht möglich, bitte wenden Sie sich an Tovarin")) << err.toStdString();
    const auto [help, helpErr] = RunToEnd({"--help"});
    EXPECT_TRUE(help.simplified().contains("Importiert einen aufgezeichneten HL7-Datenstrom")) << help.toStdString();
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

// A Qt platform plugin is loaded by every GUI application object and by nothing else: a run without one has
// no widget either. The platform named here could not start without a display, so a run that still starts
// never tried.
TEST_F(ProgramTest, TheServiceAndTheImportRunWithoutAnyPlatformPlugin)
{
    ChangeEnvironment([](QProcessEnvironment& env) {
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("QT_DEBUG_PLUGINS", "1");
    });
    EnableLog();
    process_.setArguments({"--service", "NOVELGARD", "--cs-port", "1"});
    process_.start();
    ASSERT_TRUE(process_.waitForStarted(10000));
    ASSERT_TRUE(WaitForLog("Not Connected")) << ReadAll(LogFile()) << process_.readAllStandardError().toStdString();
    const std::string maps = ReadAll("/proc/" + std::to_string(process_.processId()) + "/maps");
    ASSERT_NE(maps.find("libQt6Core"), std::string::npos);
    EXPECT_EQ(maps.find("/platforms/"), std::string::npos) << maps;
    EXPECT_EQ(maps.find("libqxcb"), std::string::npos);
    EXPECT_EQ(maps.find("libqoffscreen"), std::string::npos);
    TerminateAndExpectCleanExit();
    EXPECT_FALSE(process_.readAllStandardError().contains("platforms"));

    {
        std::ofstream capture(dir_ / "capture.hl7", std::ios::binary);
        capture << "\x0BMSH|^~\\&|CS|WARD|||20240506120000||ORU^R01|1|P|2.3\rPID|1||4711||Doe^Jane\r"
                   "OBR|1|||MON|||20240506120000\rOBX|1|NM|0002-4182^HR^MDIL||72|bpm\r\x1C\r";
    }
    const auto [out, err] =
        RunToEnd({"--import", QString::fromStdString((dir_ / "capture.hl7").string()), "NOVELGARD"});
    EXPECT_EQ(process_.exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(out.startsWith("Imported 1 messages")) << out.toStdString();
    EXPECT_FALSE(err.contains("platforms")) << err.toStdString();
}

TEST_F(ProgramTest, SetStoresSettingsByNameAndTheListingShowsThem)
{
    const auto [out, err] =
        RunToEnd({"--set", "IsAddress=1", "--set", "IPString=10.1.2.3", "--set=autostart=yes", "--settings"});
    EXPECT_EQ(process_.exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(err.isEmpty()) << err.toStdString();
    EXPECT_TRUE(out.startsWith("Stored IsAddress = 1\nStored IPString = 10.1.2.3\nStored AutoStart = 1\n"))
        << out.toStdString();
    for (const char* line : {"\nIsAddress = true\n", "\nIPString = 10.1.2.3\n", "\nAutoStart = true\n"})
        EXPECT_TRUE(out.contains(line)) << line << out.toStdString();
    // A host name while the address kind is stored: refused, nothing stored.
    const std::string hive = ReadAll(dir_ / "registry" / "HKEY_CURRENT_USER.reg");
    const auto [refusedOut, refusedErr] = RunToEnd({"--set", "AutoCreate=1", "--set", "IPString=ward-server"});
    EXPECT_EQ(process_.exitCode(), 2);
    EXPECT_EQ(refusedErr.count('\n'), 1) << refusedErr.toStdString();
    EXPECT_TRUE(refusedErr.startsWith("halcyra: IPString must be an IP address while IsAddress is 1"));
    EXPECT_EQ(ReadAll(dir_ / "registry" / "HKEY_CURRENT_USER.reg"), hive);
}

TEST_F(ProgramTest, TheSettingsListingFailsOnAHiveItCannotRead)
{
    std::ofstream(dir_ / "registry" / "HKEY_CURRENT_USER.reg") << "this is no registry file\n";
    const auto [out, err] = RunToEnd({"--settings"});
    EXPECT_EQ(process_.exitCode(), 1);
    EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
    EXPECT_TRUE(err.startsWith("halcyra: ") && err.contains("HKEY_CURRENT_USER.reg")) << err.toStdString();
    EXPECT_TRUE(out.contains("AutoStart = false (default)")) << out.toStdString();
}

// A datagram socket of the test's own plays the service manager's notify socket.
class TNotifySocket {
public:
    explicit TNotifySocket(const fs::path& path) : path_(path)
    {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~TNotifySocket() { ::close(fd_); }
    bool Bound() const { return bound_; }

    // The next notification within the time, or empty.
    std::string Next(int ms)
    {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, ms) != 1) return {};
        char buffer[4096];
        const auto got = ::recv(fd_, buffer, sizeof buffer, 0);
        return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
    }
    // Reads notifications until one satisfies `wanted`; all of them are kept in `seen`.
    bool WaitFor(const std::function<bool(const std::string&)>& wanted, int ms)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            const std::string message = Next(100);
            if (message.empty()) continue;
            seen.push_back(message);
            if (wanted(message)) return true;
        }
        return false;
    }
    std::vector<std::string> seen;

private:
    fs::path path_;
    int fd_ = -1;
    bool bound_ = false;
};

TEST_F(ProgramTest, TheServiceTellsItsServiceManagerHowItRunsAndStopsOnAHangUp)
{
    // A central station that refuses: a port nothing listens on.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();
    {
        TRegistry registry(dir_ / "registry" / "HKEY_CURRENT_USER.reg", dir_ / "registry" / "HKEY_LOCAL_MACHINE.reg");
        registry.CurrentUser().WriteDword(kProgramKey, "DataSourceIsCentralStation", 1);
        registry.CurrentUser().WriteDword(kProgramKey, "IsAddress", 1);
        registry.CurrentUser().WriteString(kProgramKey, "IPString", "127.0.0.1");
    }
    TNotifySocket notify(dir_ / "notify");
    ASSERT_TRUE(notify.Bound());
    ChangeEnvironment([&](QProcessEnvironment& env) {
        env.insert("NOTIFY_SOCKET", QString::fromStdString((dir_ / "notify").string()));
        env.insert("WATCHDOG_USEC", "400000");
    });
    process_.setArguments({"--service", "NOVELGARD", "--cs-port", QString::number(port)});
    process_.start();
    ASSERT_TRUE(process_.waitForStarted(10000));
    const auto dump = [&] {
        std::string all;
        for (const std::string& m : notify.seen) all += "[" + m + "] ";
        return all + process_.readAllStandardError().toStdString();
    };
    EXPECT_TRUE(notify.WaitFor([](const std::string& m) { return m.rfind("READY=1\nSTATUS=", 0) == 0; }, 20000))
        << dump();
    const std::string refused = "STATUS=central station 127.0.0.1:" + std::to_string(port) + " refuses connections";
    EXPECT_TRUE(notify.WaitFor([&](const std::string& m) { return m == refused; }, 20000)) << dump();
    // The watchdog hears the tick at least twice a period.
    int alive = 0;
    EXPECT_TRUE(notify.WaitFor([&](const std::string& m) { return m == "WATCHDOG=1" && ++alive == 3; }, 5000))
        << dump();

    // --status tells the same, and exits 3: the run does not collect.
    QProcess status;
    status.setProcessEnvironment(process_.processEnvironment());
    status.start(HALCYRA_EXE, {"--status"});
    ASSERT_TRUE(status.waitForFinished(30000));
    const QString answer = QString::fromUtf8(status.readAllStandardOutput());
    EXPECT_EQ(status.exitCode(), 3) << answer.toStdString();
    EXPECT_TRUE(answer.contains("\nHealth: central station 127.0.0.1:" + QString::number(port) +
                                " not connected: refuses connections\n"))
        << answer.toStdString();

    // A hang-up ends the run as SIGTERM does.
    ::kill(static_cast<pid_t>(process_.processId()), SIGHUP);
    EXPECT_TRUE(notify.WaitFor([](const std::string& m) { return m.rfind("STOPPING=1", 0) == 0; }, 20000)) << dump();
    ASSERT_TRUE(process_.waitForFinished(20000));
    EXPECT_EQ(process_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process_.exitCode(), 0);
}

}  // namespace
}  // namespace halcyra
