// The program's command line: its options, and the help text that lists them with the environment
// variables and the locations in use. Read from argv before any application object exists, so that
// --help, --version and --settings work without a display.
#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <filesystem>

namespace halcyra {

struct TCommandLine {
    QCommandLineOption service;
    QCommandLineOption settings;
    QCommandLineOption importFile;
    QCommandLineOption registry;
    QCommandLineOption prefix;
    // The central station's port, for a simulator or a test station.
    QCommandLineOption csPort;
    // Asks the instance running on the same settings how it runs, as text or with --json as JSON.
    QCommandLineOption status;
    QCommandLineOption json;
    // NAME=VALUE, repeatable: stores settings by their names and exits.
    QCommandLineOption set;
    QCommandLineOption help;
    QCommandLineOption version;

    TCommandLine();
    void AddTo(QCommandLineParser& parser) const;
    std::filesystem::path Path(const QCommandLineParser& parser, const QCommandLineOption& option) const;
};

// The text after the options in --help: the environment variables, and where the registry hives and the
// prefix are with the options and environment given.
QString HelpEpilogue(const std::filesystem::path& registryOption, const std::filesystem::path& prefixOption);

// Whether argv holds one of the options that print something and end, without a display.
bool AsksForTextOnly(int argc, char** argv);
// Whether argv holds the argument, before a "--" (what follows it is never an option).
bool HasArgument(int argc, char** argv, const char* wanted);
// The same for an option with a value, given as "--name VALUE" or "--name=VALUE".
bool HasValueOption(int argc, char** argv, const char* wanted);

// argv as the program's parser sees it: without the options that Qt's GUI application takes for itself
// ("-platform NAME", "-style NAME", "-reverse", ...).
QStringList ProgramArguments(int argc, char** argv);
// Parses argv before any application object exists; false with the parser's message for an unknown option
// or a missing value.
bool CheckArguments(int argc, char** argv, QString& error);
// Whether a window can be shown: a display (DISPLAY, WAYLAND_DISPLAY) or a platform chosen on purpose
// (QT_QPA_PLATFORM, -platform).
bool DisplayChosen(int argc, char** argv);

}  // namespace halcyra
