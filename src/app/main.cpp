// halcyra: the tray program, or with --service (and --import) the same run without a window.
#ifdef HALCYRA_CLICK_HOOK
#include "app/ClickHook.h"
#endif
#include "app/CollectDataForm.h"
#include "app/CommandLine.h"
#include "app/HalcyraApplication.h"
#include "app/ImportArrivals.h"
#include "app/ImportRunner.h"
#include "app/JournalStream.h"
#include "app/Prompter.h"
#include "app/RunEnd.h"
#include "app/RuntimeDir.h"
#include "app/ServiceNotifier.h"
#include "app/ServiceRun.h"
#include "app/SettingAssignments.h"
#include "app/SettingsReport.h"
#include "app/StatusAnswer.h"
#include "app/TcpClientSocket.h"
#include "app/TerminationSignals.h"
#include "datamanager/DBusQuarzelAutoObject.h"
#include "datamanager/LanguageManager.h"
#include "platform/Clock.h"
#include "platform/Drives.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "relay/TcpRelayListener.h"
#include "ui/OnlyOne.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#ifndef QT_NO_SESSIONMANAGER
#include <QSessionManager>
#endif

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <utility>

using namespace halcyra;

namespace {

// Exit code 1 when a hive file could not be read whole: the values shown may not be the ones stored.
int PrintSettings(const TCommandLine& options, const QCommandLineParser& parser)
{
    const auto registry = TRegistry::ForProgram(options.Path(parser, options.registry));
    bool damaged = false;
    registry->SetProblemSink([&damaged](const std::string& message) {
        damaged = true;
        std::fprintf(stderr, "halcyra: %s\n", Win1252ToUtf8(EscapeControlCharacters(message)).c_str());
    });
    TSettingsStore settings(*registry);
    const TDriveMapping drives =
        TDriveMapping::ReadOnly(TDriveMapping::DefaultPrefix(options.Path(parser, options.prefix)));
    const auto hostPath = [&](const std::string& path) -> std::string {
        try {
            return HostPathText(drives.ToHost(path));
        } catch (const std::exception& e) {
            return std::string("(") + e.what() + ")";
        }
    };
    for (const std::string& line : ReportSettings(settings, hostPath)) std::printf("%s\n", Win1252ToUtf8(line).c_str());
    return damaged ? 1 : 0;
}

// --set NAME=VALUE ...: all checked, then stored; 2 for a wrong name or value (nothing stored), 1 when a hive
// cannot be written.
int StoreSettings(const TCommandLine& options, const QCommandLineParser& parser)
{
    const auto registry = TRegistry::ForProgram(options.Path(parser, options.registry));
    registry->SetProblemSink([](const std::string& message) {
        std::fprintf(stderr, "halcyra: %s\n", Win1252ToUtf8(EscapeControlCharacters(message)).c_str());
    });
    TSettingsStore settings(*registry);
    std::vector<TSettingAssignment> assignments;
    try {
        for (const QString& argument : parser.values(options.set))
            assignments.push_back(ParseSettingAssignment(argument.toStdString()));
        for (const std::string& line : StoreSettingAssignments(settings, assignments))
            std::printf("Stored %s\n", line.c_str());
    } catch (const ESettingValue& e) {
        std::fprintf(stderr, "halcyra: %s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "halcyra: nothing more stored: %s\n", Win1252ToUtf8(e.what()).c_str());
        return 1;
    }
    return 0;
}

// --help, --version and --settings: text on standard output, no display and no window needed.
int RunTextOnly(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(HALCYRA_VERSION);
    // The help is in the data manager's language: the registry the options name gives it, before the
    // options' own texts are made.
    TLanguageManager language;
    {
        QCommandLineParser early;
        const TCommandLine untranslated;
        untranslated.AddTo(early);
        early.parse(ProgramArguments(argc, argv));
        const auto registry = TRegistry::ForProgram(untranslated.Path(early, untranslated.registry));
        registry->SetProblemSink([](const std::string&) {});
        language.SetLanguage(TLanguageManager::GetLanguage(registry->CurrentUser()));
    }
    QCommandLineParser parser;
    const TCommandLine options;
    options.AddTo(parser);
    if (!parser.parse(ProgramArguments(argc, argv))) {
        std::fprintf(stderr, "halcyra: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(options.help)) {
        std::printf(
            "%s\n%s", qPrintable(parser.helpText()),
            qPrintable(HelpEpilogue(options.Path(parser, options.registry), options.Path(parser, options.prefix))));
        return 0;
    }
    if (parser.isSet(options.version)) {
        std::printf("halcyra %s\n", HALCYRA_VERSION);
        return 0;
    }
    if (parser.isSet(options.set)) {
        const int stored = StoreSettings(options, parser);
        if (stored != 0 || !parser.isSet(options.settings)) return stored;
    }
    return PrintSettings(options, parser);
}

// Runs its action when the scope ends, however it ends.
class TOnScopeEnd {
public:
    explicit TOnScopeEnd(std::function<void()> action) : action_(std::move(action)) {}
    ~TOnScopeEnd() { action_(); }
    TOnScopeEnd(const TOnScopeEnd&) = delete;
    TOnScopeEnd& operator=(const TOnScopeEnd&) = delete;

private:
    std::function<void()> action_;
};

// --status: asks the instance on the same settings and prints its answer; changes nothing. Only an answer
// from a process of this user (or root) is printed.
int RunStatusQuery(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const TCommandLine options;
    options.AddTo(parser);
    parser.process(ProgramArguments(argc, argv));
    const auto registry = TRegistry::ForProgram(options.Path(parser, options.registry));
    registry->SetProblemSink([](const std::string&) {});
    const QString settingsFile = TOnlyOne::SettingsFileName(registry->CurrentUser().File());
    const bool json = parser.isSet(options.json);
    const TOnlyOne::TStatusReply reply = TOnlyOne::AskStatus(registry->CurrentUser().File(), json);
    switch (reply.result) {
        case TOnlyOne::TStatusReply::Answered:
            std::fwrite(reply.text.constData(), 1, static_cast<std::size_t>(reply.text.size()), stdout);
            return StatusExitCode(reply.text, json);
        case TOnlyOne::TStatusReply::Silent:
            std::fprintf(stderr, "halcyra: the instance running on the settings in %s (PID %lld) did not answer\n",
                         qPrintable(settingsFile), static_cast<long long>(reply.pid));
            return 3;
        case TOnlyOne::TStatusReply::OtherUser:
            std::fprintf(stderr,
                         "halcyra: a process of another user (UID %lld, PID %lld) answers for the settings in %s; its "
                         "answer is not shown\n",
                         static_cast<long long>(reply.uid), static_cast<long long>(reply.pid),
                         qPrintable(settingsFile));
            return 1;
        case TOnlyOne::TStatusReply::Failed:
            std::fprintf(stderr, "halcyra: cannot look for an instance on the settings in %s: %s\n",
                         qPrintable(settingsFile), qPrintable(reply.error));
            return 1;
        case TOnlyOne::TStatusReply::NoneRuns:
            break;
    }
    std::fprintf(stderr, "halcyra: no instance is running on the settings in %s\n", qPrintable(settingsFile));
    return 1;
}

// What `--status` hears from this instance.
std::function<QByteArray(bool)> StatusOf(TRunEngine& engine, const char* mode)
{
    return [&engine, mode](bool json) {
        TRunStatus status = engine.RunStatus();
        status.mode = mode;
        status.pid = QCoreApplication::applicationPid();
        return StatusAnswer(status, json);
    };
}

// The central station's port: 8000 unless --cs-port names another (a simulator, a test station).
std::uint16_t CentralStationPort(const TCommandLine& options, const QCommandLineParser& parser)
{
    return parser.isSet(options.csPort) ? static_cast<std::uint16_t>(parser.value(options.csPort).toUInt()) : 0;
}

std::unique_ptr<TDriveMapping> OpenDrives(const TCommandLine& options, const QCommandLineParser& parser)
{
    try {
        return std::make_unique<TDriveMapping>(TDriveMapping::DefaultPrefix(options.Path(parser, options.prefix)));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "halcyra: %s\n", e.what());
        return nullptr;
    }
}

int RefuseSecondInstance(const TOnlyOne& onlyOne, TRegistry& registry)
{
    if (!onlyOne.Error().isEmpty()) {
        std::fprintf(stderr,
                     "halcyra: cannot make sure that no other instance runs on the settings in %s: %s; not "
                     "starting\n",
                     qPrintable(TOnlyOne::SettingsFileName(registry.CurrentUser().File())),
                     qPrintable(onlyOne.Error()));
        return 1;
    }
    std::fprintf(stderr, "halcyra: %s is running on the settings in %s; not starting\n",
                 qPrintable(onlyOne.RunningText()),
                 qPrintable(TOnlyOne::SettingsFileName(registry.CurrentUser().File())));
    return 1;
}

void FillEnvironment(TEngineEnvironment& env, const TCommandLine&, const QCommandLineParser& parser,
                     TRegistry& registry, TFileSystem& files, IClock& clock, IMessageBoxes& boxes)
{
    env.clock = &clock;
    env.registry = &registry;
    env.files = &files;
    env.messageBoxes = &boxes;
    env.executablePath = QCoreApplication::applicationFilePath().toStdString();
    for (const QString& argument : parser.positionalArguments())
        env.arguments.push_back(Utf8ToWin1252(argument.toStdString()));
}

// Problems met before the run's log exists go to standard error, later ones to the log.
std::function<void(const std::string&)> ReportTo(TRunEngine* const& engine)
{
    return [&engine](const std::string& message) {
        if (engine != nullptr)
            engine->AddLogLine(message);
        else
            std::fprintf(stderr, "halcyra: %s\n", Win1252ToUtf8(EscapeControlCharacters(message)).c_str());
    };
}

// The central station and the relay over TCP.
void UseNetwork(TEngineEnvironment& env, std::uint16_t centralStationPort)
{
    env.centralStationSocket = [centralStationPort] { return std::make_unique<TTcpClientSocket>(centralStationPort); };
    env.relayClientSocket = [] { return std::make_unique<TTcpClientSocket>(); };
    env.relayListener = [] { return std::make_unique<TTcpRelayListener>(); };
}

int RunDesktop(int argc, char** argv)
{
    THalcyraApplication app(argc, argv);
    QCommandLineParser parser;
    const TCommandLine options;
    options.AddTo(parser);
    parser.process(app);
    const auto registry = TRegistry::ForProgram(options.Path(parser, options.registry));
    // One instance per settings file, whatever the mode: two would both collect and write every value
    // twice. Checked before anything is written. A desktop start meeting a desktop instance brings its
    // window to the front and ends; meeting a service or an import, which has no window to bring, it is
    // refused like them with one line naming the running instance.
    TOnlyOne onlyOne(registry->CurrentUser().File(), QStringLiteral("desktop"));
    if (!onlyOne.Enforce(true)) {
        if (onlyOne.Running().mode == QLatin1String("desktop")) return 0;
        return RefuseSecondInstance(onlyOne, *registry);
    }
    TfrmCollectData* form = nullptr;
    TRunEngine* engine = nullptr;
    const auto report = ReportTo(engine);
    std::unique_ptr<TDriveMapping> drives = OpenDrives(options, parser);
    if (!drives) return 1;
    registry->SetProblemSink(report);
    onlyOne.OnLog = report;
    TFileSystem files(*drives);
    TSystemClock clock;
    TMessageBoxPrompter boxes;
    TEnvironment env;
    FillEnvironment(env, options, parser, *registry, files, clock, boxes);
    env.prompter = &boxes;
    UseNetwork(env, CentralStationPort(options, parser));
    // Installed before start-up, so an early SIGTERM waits in the event loop instead of killing the run;
    // it then ends the run even while a modal box (the close question, "Unable to start ...") is open.
    TRunEnd runEnd(
        [&] {
            if (form != nullptr) form->EndSession();
        },
        [&] { return form != nullptr && form->Engine().TerminateRequested() ? 1 : 0; });
    TTerminationSignals terminationSignals([&] { runEnd.End(); });
#ifndef QT_NO_SESSIONMANAGER
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, [&](QSessionManager&) { runEnd.End(); });
#endif
    TDBusDataManagerLinkFactory dataManager;
    env.dataManager = &dataManager;
    // The user-interface language is the data manager's.
    TLanguageManager language;
    language.SetLanguage(TLanguageManager::GetLanguage(registry->CurrentUser()));
    TfrmCollectData mainWindow(env);
    form = &mainWindow;
    engine = &mainWindow.Engine();
    // Before the window goes, on every way out: nothing reached from a signal or a request may find it.
    const TOnScopeEnd forgetWindow([&] {
        onlyOne.OnBringToFront = nullptr;
        onlyOne.OnStatus = nullptr;
        onlyOne.OnLog = nullptr;
        form = nullptr;
        engine = nullptr;
    });
    onlyOne.OnBringToFront = [&] { mainWindow.BringToFront(); };
    onlyOne.OnStatus = StatusOf(mainWindow.Engine(), "desktop");
    app.SetExceptionHandler([&](const std::string& message) { mainWindow.ApplicationException(message); });
    mainWindow.FormCreate();
    if (runEnd.Ending()) return runEnd.ExitCode();
    if (mainWindow.Engine().TerminateRequested()) return 1;
    mainWindow.show();
#ifdef HALCYRA_CLICK_HOOK
    // Scripted screenshots open the dialogs through their buttons.
    TClickHook clickHook(qEnvironmentVariable("HALCYRA_CLICK").split(',', Qt::SkipEmptyParts));
#endif
    const int code = app.exec();
    return runEnd.Ending() ? runEnd.ExitCode() : code;
}

// The service and the import: the engine alone on the core application, no widget and no platform plugin.
int RunHeadless(int argc, char** argv, bool importing)
{
    THalcyraCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const TCommandLine options;
    options.AddTo(parser);
    // The core application leaves the GUI's own options ("-platform ...") in its arguments.
    parser.process(ProgramArguments(argc, argv));
    const auto registry = TRegistry::ForProgram(options.Path(parser, options.registry));
    TOnlyOne onlyOne(registry->CurrentUser().File(), importing ? QStringLiteral("import") : QStringLiteral("service"));
    if (!onlyOne.Enforce(false)) return RefuseSecondInstance(onlyOne, *registry);
    // An import reads its capture through once before anything is written, so a file it cannot read changes
    // nothing; the run reads it again, a piece at a time.
    std::unique_ptr<TCaptureFile> capture;
    TArrivalScan scan(NowLocal());
    if (importing) {
        const QString path = parser.value(options.importFile);
        capture = std::make_unique<TCaptureFile>(QFile::encodeName(path).toStdString());
        std::size_t hl7Messages = 0;  // with a message header: text without one is no capture
        bool read = capture->Open();
        while (read) {
            const TCaptureFile::TResult result = capture->Next();
            if (result != TCaptureFile::Message) {
                read = result == TCaptureFile::End;
                break;
            }
            const TMessageIndex& segments = capture->Segments();
            scan.Add(segments);
            if (segments.size() > 0 && segments.Segment(0).starts_with("MSH")) ++hl7Messages;
        }
        if (!read) {
            std::fprintf(stderr, "halcyra: cannot read %s: %s\n", qPrintable(path), capture->Error().c_str());
            return 1;
        }
        if (hl7Messages == 0) {
            std::fprintf(stderr, "halcyra: %s holds no HL7 message; nothing imported\n", qPrintable(path));
            return 1;
        }
    }
    TRunEngine* engine = nullptr;
    const auto report = ReportTo(engine);
    std::unique_ptr<TDriveMapping> drives = OpenDrives(options, parser);
    if (!drives) return 1;
    registry->SetProblemSink(report);
    onlyOne.OnLog = report;
    TFileSystem files(*drives);
    TSystemClock clock;
    TImportClock importClock(TImportRunner::StartUpTime(scan));
    TLoggingPrompter logged(report);
    TEngineEnvironment env;
    FillEnvironment(env, options, parser, *registry, files, clock, logged);
    if (importing) {
        env.clock = &importClock;
        env.linkClock = &clock;
        env.centralStationSocket = [] { return std::make_unique<TImportSocket>(); };
    } else {
        UseNetwork(env, CentralStationPort(options, parser));
    }
    env.logMirror = StandardErrorLogMirror();
    TServiceRun* run = nullptr;
    TRunEnd runEnd(
        [&] {
            if (run != nullptr) run->End();
        },
        [&] { return run != nullptr && run->Engine().TerminateRequested() ? 1 : 0; });
    TTerminationSignals terminationSignals([&] { runEnd.End(); });
    TDBusDataManagerLinkFactory dataManager;
    env.dataManager = &dataManager;
    TLanguageManager language;
    language.SetLanguage(TLanguageManager::GetLanguage(registry->CurrentUser()));
    // An import is no service: the service manager hears nothing of it.
    TServiceRun service(env, importing ? TServiceNotifier({}, 0) : TServiceNotifier::ForThisProcess());
    run = &service;
    engine = &service.Engine();
    // Before the run goes, on every way out: nothing reached from a signal or a request may find it.
    const TOnScopeEnd forgetRun([&] {
        onlyOne.OnStatus = nullptr;
        onlyOne.OnLog = nullptr;
        engine = nullptr;
        run = nullptr;
    });
    app.SetExceptionHandler([&](const std::string& message) { service.Engine().AddLogLine(message); });
    service.Engine().OnStartRefused = [&] {
        logged.ShowMessage(Utf8ToWin1252(
            QCoreApplication::translate("halcyra::TfrmCollectData", "Unable to start, please contact Tovarin")
                .toStdString()));
    };
    if (importing) {
        // An import is not live: it waits for the data manager's answers instead of outrunning them.
        service.Engine().DataManager().SetMayWait(true);
        service.Engine().StartUp();
        if (service.Engine().TerminateRequested()) return 1;
        const TImportSummary summary = TImportRunner(service.Engine(), importClock).Run(*capture, scan);
        std::printf("%s\n", SummaryLine(summary).c_str());
        return summary.complete ? 0 : 1;
    }
    onlyOne.OnStatus = StatusOf(service.Engine(), "service");
    service.Start();
    if (runEnd.Ending()) return runEnd.ExitCode();
    if (service.Engine().TerminateRequested()) return 1;
    const int code = app.exec();
    return runEnd.Ending() ? runEnd.ExitCode() : code;
}

}  // namespace

int main(int argc, char** argv)
{
    // A reader that goes away (`halcyra --settings | head -1`, a log pipe that closes under a service) ends
    // no run: the write fails, quietly, and the run goes on.
    std::signal(SIGPIPE, SIG_IGN);
    ProvideRuntimeDir();
    // Before any application object: a wrong option or a missing display is one line, not Qt's abort.
    QString argumentError;
    if (!CheckArguments(argc, argv, argumentError)) {
        std::fprintf(stderr, "halcyra: %s\n", qPrintable(argumentError));
        return 2;
    }
    if (AsksForTextOnly(argc, argv)) return RunTextOnly(argc, argv);
    if (HasArgument(argc, argv, "--status")) return RunStatusQuery(argc, argv);
    const bool service = HasArgument(argc, argv, "--service");
    const bool importing = HasValueOption(argc, argv, "--import");
    if (service || importing) return RunHeadless(argc, argv, importing);
    if (!DisplayChosen(argc, argv)) {
        std::fprintf(stderr, "halcyra: no display: run `halcyra --service` for a headless run\n");
        return 1;
    }
    return RunDesktop(argc, argv);
}
