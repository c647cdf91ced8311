#include "app/CommandLine.h"

#include "app/SettingAssignments.h"
#include "platform/Drives.h"
#include "platform/Registry.h"

#include <QCoreApplication>

#include <cstdlib>
#include <cstring>

namespace halcyra {

TCommandLine::TCommandLine()
    : service("service",
              QCoreApplication::translate("halcyra",
                                          "Runs without a display, as a service: no tray icon, message boxes "
                                          "are logged, log lines also go to standard error; SIGTERM or "
                                          "SIGINT ends the run.")),
      settings("settings",
               QCoreApplication::translate(
                   "halcyra", "Prints every setting as the program would use it now, and exits; writes nothing.")),
      importFile("import",
                 QCoreApplication::translate("halcyra", "Imports a captured HL7 stream into the patient files."),
                 "FILE"),
      registry(
          "registry",
          QCoreApplication::translate("halcyra", "Folder of the registry hive files (overrides HALCYRA_REGISTRY)."),
          "DIR"),
      prefix("prefix",
             QCoreApplication::translate("halcyra", "Folder of the drive mapping (overrides HALCYRA_PREFIX)."), "DIR"),
      csPort("cs-port",
             QCoreApplication::translate("halcyra",
                                         "Connects to the central station on PORT instead of 8000 (a simulator or a "
                                         "test station on another port)."),
             "PORT"),
      status("status",
             QCoreApplication::translate("halcyra",
                                         "Prints how the instance running on these settings runs: data source, status, "
                                         "interval, messages and every census patient with what was written for it; "
                                         "changes nothing. Exit code 0 when it collects, 3 when it runs but does not "
                                         "collect or has lost its connection or data manager, 1 when none runs.")),
      json("json", QCoreApplication::translate("halcyra", "With --status: prints one JSON object.")),
      set("set",
          QCoreApplication::translate("halcyra",
                                      "Stores the setting NAME (as --settings lists them) with VALUE, checked against "
                                      "its type and limits, and exits; repeatable. Nothing is stored when one is "
                                      "wrong (exit code 2)."),
          "NAME=VALUE"),
      help(QStringList{"h", "help"}, QCoreApplication::translate("halcyra", "Shows this help and exits.")),
      version(QStringList{"v", "version"}, QCoreApplication::translate("halcyra", "Shows the version and exits."))
{
}

void TCommandLine::AddTo(QCommandLineParser& parser) const
{
    parser.setApplicationDescription(QCoreApplication::translate(
        "halcyra",
        "Halcyra Data Input Module: collects vital signs from a central station into the patient files "
        "of the data manager."));
    parser.addOptions({service, settings, set, importFile, registry, prefix, csPort, status, json, help, version});
    parser.addPositionalArgument(
        "NOVELGARD",
        QCoreApplication::translate("halcyra",
                                    "As the first argument, in any letter case: runs without the data "
                                    "manager's automation interface."),
        "[NOVELGARD]");
}

std::filesystem::path TCommandLine::Path(const QCommandLineParser& parser, const QCommandLineOption& option) const
{
    return parser.isSet(option) ? std::filesystem::path(parser.value(option).toStdString()) : std::filesystem::path();
}

QString HelpEpilogue(const std::filesystem::path& registryOption, const std::filesystem::path& prefixOption)
{
    const auto registry = TRegistry::ForProgram(registryOption);
    const auto text = [](const std::filesystem::path& path) { return QString::fromStdString(path.string()); };
    return QCoreApplication::translate(
               "halcyra",
               "Environment:\n"
               "  HALCYRA_REGISTRY  folder of both registry hive files, HKEY_CURRENT_USER.reg and\n"
               "                    HKEY_LOCAL_MACHINE.reg (as --registry)\n"
               "  HALCYRA_PREFIX    folder of the drive mapping (as --prefix)\n"
               "  XDG_CONFIG_HOME   without either: the per-user hive is "
               "$XDG_CONFIG_HOME/halcyra/HKEY_CURRENT_USER.reg\n"
               "                    (default ~/.config/halcyra/), the per-machine hive "
               "/etc/halcyra/HKEY_LOCAL_MACHINE.reg\n"
               "  XDG_DATA_HOME     without either: the prefix is $XDG_DATA_HOME/halcyra (default "
               "~/.local/share/halcyra)\n"
               "\n"
               "In use now:\n"
               "  per-user hive     %1\n"
               "  per-machine hive  %2\n"
               "  prefix            %3\n")
        .arg(text(registry->CurrentUser().File()), text(registry->LocalMachine().File()),
             text(TDriveMapping::DefaultPrefix(prefixOption)));
}

namespace {

// The index of "--", which ends the options, or argc.
int OptionsEnd(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--") == 0) return i;
    return argc;
}

}  // namespace

bool HasArgument(int argc, char** argv, const char* wanted)
{
    const int end = OptionsEnd(argc, argv);
    for (int i = 1; i < end; ++i)
        if (std::strcmp(argv[i], wanted) == 0) return true;
    return false;
}

bool HasValueOption(int argc, char** argv, const char* wanted)
{
    const std::size_t length = std::strlen(wanted);
    const int end = OptionsEnd(argc, argv);
    for (int i = 1; i < end; ++i)
        if (std::strncmp(argv[i], wanted, length) == 0 && (argv[i][length] == '\0' || argv[i][length] == '='))
            return true;
    return false;
}

namespace {

// Qt's own options of a GUI application, with a value and without; "--name" counts as "-name".
constexpr const char* kQtOptionsWithValue[] = {"platform",
                                               "platformpluginpath",
                                               "platformtheme",
                                               "plugin",
                                               "qwindowgeometry",
                                               "geometry",
                                               "qwindowtitle",
                                               "title",
                                               "qwindowicon",
                                               "icon",
                                               "session",
                                               "style",
                                               "stylesheet",
                                               "display",
                                               "name",
                                               "visual"};
constexpr const char* kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

// The option's name when the argument is one of Qt's ("-platform", "--style=fusion"), else empty.
QString QtOption(const QString& argument, bool& takesValue, bool& valueAttached)
{
    if (!argument.startsWith('-') || argument == "-" || argument == "--") return {};
    QString name = argument.mid(argument.startsWith("--") ? 2 : 1);
    valueAttached = name.contains('=');
    name = name.section('=', 0, 0);
    if (name.startsWith("qmljsdebugger")) {
        takesValue = false;
        return name;
    }
    for (const char* option : kQtOptionsWithValue)
        if (name == QLatin1String(option)) {
            takesValue = !valueAttached;
            return name;
        }
    for (const char* flag : kQtFlags)
        if (name == QLatin1String(flag) && !valueAttached) {
            takesValue = false;
            return name;
        }
    return {};
}

}  // namespace

QStringList ProgramArguments(int argc, char** argv)
{
    QStringList arguments;
    const int end = OptionsEnd(argc, argv);
    for (int i = 0; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (i >= end) {
            arguments.push_back(argument);
            continue;
        }
        bool takesValue = false;
        bool valueAttached = false;
        if (i > 0 && !QtOption(argument, takesValue, valueAttached).isEmpty()) {
            if (takesValue) ++i;
            continue;
        }
        arguments.push_back(argument);
    }
    return arguments;
}

bool CheckArguments(int argc, char** argv, QString& error)
{
    QCommandLineParser parser;
    const TCommandLine options;
    options.AddTo(parser);
    if (!parser.parse(ProgramArguments(argc, argv))) {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(options.csPort)) {
        bool number = false;
        const uint port = parser.value(options.csPort).toUInt(&number);
        if (!number || port == 0 || port > 65535) {
            error = QCoreApplication::translate("halcyra", "--cs-port needs a port number from 1 to 65535, not \"%1\"")
                        .arg(parser.value(options.csPort));
            return false;
        }
    }
    if (parser.isSet(options.json) && !parser.isSet(options.status)) {
        error = QCoreApplication::translate("halcyra", "--json is given with --status only");
        return false;
    }
    for (const QString& assignment : parser.values(options.set)) {
        try {
            ParseSettingAssignment(assignment.toStdString());
        } catch (const ESettingValue& e) {
            error = QString::fromStdString(e.what());
            return false;
        }
    }
    return true;
}

bool DisplayChosen(int argc, char** argv)
{
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return true;
    }
    const int end = OptionsEnd(argc, argv);
    for (int i = 1; i < end; ++i) {
        bool takesValue = false;
        bool valueAttached = false;
        const QString name = QtOption(QString::fromLocal8Bit(argv[i]), takesValue, valueAttached);
        if (name == "platform" || name == "display") return true;
        if (takesValue) ++i;
    }
    return false;
}

bool AsksForTextOnly(int argc, char** argv)
{
    for (const char* option : {"-h", "--help", "-v", "--version", "--settings"})
        if (HasArgument(argc, argv, option)) return true;
    return HasValueOption(argc, argv, "--set");
}

}  // namespace halcyra
