// What every helper program keeps to: exit code 0 when all went well, 1 for a problem with the input or
// the result, 2 for a wrong command line; every message to the user is one line, "<tool>: <what>";
// --help and --version; a reader that closes standard output early (`| head`) ends the tool quietly.
#pragma once

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QString>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace halcyra::tool {

constexpr int kExitOk = 0;
constexpr int kExitProblem = 1;
constexpr int kExitUsage = 2;

// The tool's name in its messages and in --version, which prints it with the project's version.
inline void Identify(const char* name)
{
    QCoreApplication::setApplicationName(QString::fromUtf8(name));
    QCoreApplication::setApplicationVersion(QStringLiteral(HALCYRA_VERSION));
}

// One line on standard error. Line breaks inside what (a file name, a library's message) become blanks,
// so that a script reading the line gets all of it.
inline void Complain(QString what)
{
    what.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()), what.toUtf8().constData());
}

[[noreturn]] inline void UsageError(const QString& what)
{
    Complain(what);
    std::exit(kExitUsage);
}

inline void AddStandardOptions(QCommandLineParser& parser)
{
    parser.addHelpOption();
    parser.addVersionOption();
}

// QCommandLineParser::process() prints a wrong command line with the parser's own prefix and ends with
// exit code 1; here it is one line and exit code 2. process() is still what prints --help and --version.
inline void ParseOrExit(QCommandLineParser& parser, const QStringList& arguments)
{
    if (!parser.parse(arguments)) UsageError(parser.errorText());
    parser.process(arguments);
}

// With SIGPIPE ignored a write to a pipe nobody reads any more fails with EPIPE instead of killing the
// tool, so that it can tell that apart from a real failure.
inline void IgnoreSigpipe()
{
    std::signal(SIGPIPE, SIG_IGN);
}

// The exit code after a write to standard output failed with error. A reader that went away (`| head`)
// has what it wanted: no message, exit code 0. Anything else (a full disk) is a problem.
inline int OutputFailed(int error)
{
    if (error == EPIPE) return kExitOk;
    Complain(QStringLiteral("cannot write standard output: ") + QString::fromLocal8Bit(std::strerror(error)));
    return kExitProblem;
}

}  // namespace halcyra::tool
