// halcyra-pil: create, extend, inspect, check and plot a monitor-data file on host paths.
#include "PilCommands.h"
#include "PilPlotPlan.h"
#include "ToolConventions.h"
#include "platform/Text.h"
#ifdef HALCYRA_PIL_PLOT
#include "PilPlot.h"
#endif

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <stdexcept>

namespace {

using namespace halcyra;
namespace tool = halcyra::tool;

const char* kUsage =
    "Usage: halcyra-pil COMMAND FILE ...\n"
    "  create FILE --id ID --name NAME [--kind K] [--reserve N]\n"
    "  declare FILE LABEL [--unit U] [--place P] [--extra E] [--param-id I]\n"
    "  add FILE INDEX TIME VALUE\n"
    "  delimit FILE INDEX TIME [CODE]\n"
    "  dump FILE [--csv]\n"
    "  check FILE...\n"
    "  plot FILE [--series LABEL,...] [--from TIME] [--to TIME] --output OUT.svg|OUT.png\n"
    "  --help, --version; COMMAND --help lists the command's options\n"
    "TIME is a date-time number (days since 1899-12-30) or YYYY-MM-DDThh:mm:ss[.fff] local time;\n"
    "plot also takes a time to the minute, YYYY-MM-DD hh:mm (a blank or a T between date and time).\n"
    "check prints one line per file and problem, FILE: sound for a sound file.\n"
    "Exit codes: 0 done, 1 a file that cannot be read, written or is not sound, 2 a wrong command line.\n";

// A wrong command line: one line, exit code 2.
class EUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An argument read by one of the commands' parsers: what they reject is a wrong command line, found before
// any file is touched.
template <class TParse>
auto Argument(TParse parse) -> decltype(parse())
{
    try {
        return parse();
    } catch (const pil::EPilError& e) {
        throw EUsageError(e.what());
    }
}

// Command-line texts are UTF-8; the file keeps single-byte text.
std::string Text(const QString& value)
{
    return Utf8ToWin1252(value.toUtf8().toStdString());
}
std::filesystem::path HostPath(const QString& value)
{
    return std::filesystem::path(QFile::encodeName(value).toStdString());
}

// Library messages may span lines (the identity check) and hold the file's single-byte text.
QString OneLine(std::string message)
{
    for (std::size_t at = 0; (at = message.find("\r\n", at)) != std::string::npos;) message.replace(at, 2, "; ");
    std::replace(message.begin(), message.end(), '\n', ' ');
    return QString::fromStdString(Win1252ToUtf8(EscapeControlCharacters(message)));
}

// What is wrong with a file, after what could be shown of it: one line each, naming the file as given.
int Warn(const QString& file, const std::vector<std::string>& problems)
{
    std::cout.flush();
    for (const std::string& problem : problems)
        tool::Complain(file + QStringLiteral(": warning: ") + QString::fromStdString(problem));
    return problems.empty() ? tool::kExitOk : tool::kExitProblem;
}

// One line per problem, or one saying it is sound, each starting with the file as it was given.
int Check(const QStringList& files)
{
    int code = tool::kExitOk;
    for (const QString& name : files) {
        const std::string shown = name.toStdString();
        try {
            const std::vector<std::string> problems = pil::Check(HostPath(name));
            if (problems.empty()) std::cout << shown << ": sound\n";
            for (const std::string& problem : problems) std::cout << shown << ": " << problem << '\n';
            if (!problems.empty()) code = tool::kExitProblem;
        } catch (const std::ios_base::failure&) {
            throw;
        } catch (const std::exception& e) {
            // The message names the file; the other files are still checked.
            std::cout.flush();
            tool::Complain(OneLine(e.what()));
            code = tool::kExitProblem;
        }
    }
    return code;
}

struct TCommand {
    const char* name;
    QStringList positionals;  // names; a trailing "[X]" is optional, a trailing "X..." takes one or more
    QList<QCommandLineOption> options;
    bool numbersFollow;  // positionals may be negative numbers
};

int Run(QStringList arguments)
{
    // "halcyra-pil -- COMMAND ...": nothing after "--" is an option, the command neither.
    const bool noOptions = arguments.size() > 1 && arguments[1] == "--";
    if (noOptions) arguments.removeAt(1);
    if (arguments.size() < 2) throw EUsageError("no command given (create, declare, add, delimit, dump, check, plot)");
    const QString command = arguments[1];
    if (!noOptions) {
        if (command == "--help" || command == "-h" || command == "help") {
            std::cout << kUsage;
            return tool::kExitOk;
        }
        if (command == "--version" || command == "-v") {
            std::cout << "halcyra-pil " << HALCYRA_VERSION << '\n';
            return tool::kExitOk;
        }
        if (command.startsWith('-')) throw EUsageError("unknown option '" + command.toStdString() + "'");
    }

    const QCommandLineOption id("id", "Patient ID.", "ID");
    const QCommandLineOption name("name", "Patient name.", "NAME");
    const QCommandLineOption kind("kind", "Monitor kind (default Halcyra).", "K", "Halcyra");
    const QCommandLineOption reserve("reserve", "Reserved bytes for declarations (default 500).", "N", "500");
    const QCommandLineOption unit("unit", "Unit.", "U");
    const QCommandLineOption place("place", "Measurement place.", "P");
    const QCommandLineOption extra("extra", "Extra name.", "E");
    const QCommandLineOption paramId("param-id", "Parameter ID.", "I");
    const QCommandLineOption csv("csv", "Print the points as CSV.");
    const QCommandLineOption series("series", "Series to draw, by label (default: every series with values).",
                                    "LABEL,...");
    const QCommandLineOption from("from", "Draw from this time on.", "TIME");
    const QCommandLineOption to("to", "Draw up to this time.", "TIME");
    const QCommandLineOption output("output", "The picture: OUT.svg or OUT.png.", "OUT");

    const std::vector<TCommand> commands = {
        {"create", {"FILE"}, {id, name, kind, reserve}, false},
        {"declare", {"FILE", "LABEL"}, {unit, place, extra, paramId}, false},
        {"add", {"FILE", "INDEX", "TIME", "VALUE"}, {}, true},
        {"delimit", {"FILE", "INDEX", "TIME", "[CODE]"}, {}, true},
        {"dump", {"FILE"}, {csv}, false},
        {"check", {"FILE..."}, {}, false},
        {"plot", {"FILE"}, {series, from, to, output}, false},
    };
    const auto found = std::find_if(commands.begin(), commands.end(),
                                    [&](const TCommand& c) { return command == QLatin1String(c.name); });
    if (found == commands.end()) throw EUsageError("unknown command '" + command.toStdString() + "'");

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({"h", "help"}, "Show this help.");
    const QCommandLineOption version({"v", "version"}, "Show the version.");
    parser.addOptions({help, version});
    parser.addOptions(found->options);
    for (const QString& positional : found->positionals) parser.addPositionalArgument(positional, positional);

    QStringList rest = arguments.mid(2);
    rest.prepend(arguments[0]);
    // Values such as -5.5 are numbers, not options: these commands take no options at all.
    if (noOptions || (found->numbersFollow && !rest.contains("--help") && !rest.contains("-h") && !rest.contains("--")))
        rest.insert(1, "--");
    if (!parser.parse(rest)) throw EUsageError(parser.errorText().toStdString());
    if (parser.isSet(help)) {
        std::cout << parser.helpText().toStdString();
        return tool::kExitOk;
    }
    if (parser.isSet(version)) {
        std::cout << "halcyra-pil " << HALCYRA_VERSION << '\n';
        return tool::kExitOk;
    }

    const QStringList values = parser.positionalArguments();
    const bool variadic = found->positionals.back().endsWith("...");
    const auto required = std::count_if(found->positionals.begin(), found->positionals.end(),
                                        [](const QString& p) { return !p.startsWith('['); });
    if (values.size() < required || (!variadic && values.size() > found->positionals.size()))
        throw EUsageError(std::string(found->name) + " expects " + found->positionals.join(' ').toStdString());

    const std::string which = found->name;
    if (which == "check") return Check(values);
    const std::filesystem::path file = HostPath(values[0]);
    try {
        if (which == "create") {
            if (!parser.isSet(id) || !parser.isSet(name)) throw EUsageError("create needs --id and --name");
            const auto reserved = Argument([&] { return pil::ParseReserve(parser.value(reserve).toStdString()); });
            pil::Create(file, Text(parser.value(id)), Text(parser.value(name)), Text(parser.value(kind)), reserved);
        } else if (which == "declare") {
            std::cout << pil::Declare(file, Text(values[1]), Text(parser.value(unit)), Text(parser.value(place)),
                                      Text(parser.value(extra)), Text(parser.value(paramId)))
                      << '\n';
        } else if (which == "add") {
            const auto index = Argument([&] { return pil::ParseIndex(values[1].toStdString()); });
            const auto time = Argument([&] { return pil::ParseTime(values[2].toStdString()); });
            const auto value = Argument([&] { return pil::ParseValue(values[3].toStdString()); });
            pil::AddValue(file, index, time, value);
        } else if (which == "delimit") {
            const auto index = Argument([&] { return pil::ParseIndex(values[1].toStdString()); });
            const auto time = Argument([&] { return pil::ParseTime(values[2].toStdString()); });
            const auto code = values.size() > 3 ? Argument([&] { return pil::ParseCode(values[3].toStdString()); }) : 0;
            pil::AddDelimiter(file, index, time, code);
        } else if (which == "dump") {
            return Warn(values[0], pil::Dump(file, parser.isSet(csv), std::cout));
        } else if (which == "plot") {
            if (!parser.isSet(output)) throw EUsageError("plot needs --output OUT.svg or OUT.png");
            pil::TPlotRequest request;
            for (const QString& labels : parser.values(series))
                for (const QString& label : labels.split(',', Qt::SkipEmptyParts))
                    request.labels.push_back(Text(label));
            if (parser.isSet(from))
                request.from = Argument([&] { return pil::ParsePlotTime(parser.value(from).toStdString()); });
            if (parser.isSet(to))
                request.to = Argument([&] { return pil::ParsePlotTime(parser.value(to).toStdString()); });
            if (request.from && request.to && *request.from > *request.to)
                throw EUsageError("--from " + parser.value(from).toStdString() + " is after --to " +
                                  parser.value(to).toStdString());
#ifdef HALCYRA_PIL_PLOT
            const std::filesystem::path picture = HostPath(parser.value(output));
            Argument([&] { return pil::ImageFormatOf(picture); });
            return Warn(values[0], pil::Plot(file, request, picture));
#else
            throw pil::EPilError("plot: this halcyra-pil was built without Qt Charts");
#endif
        }
    } catch (const pil::EPilError&) {
        throw;
    } catch (const EUsageError&) {
        throw;
    } catch (const std::ios_base::failure&) {
        throw;
    } catch (const std::exception& e) {
        // Say which file the library's message is about.
        throw pil::EPilError(pil::Shown(file) + ": " + e.what());
    }
    return tool::kExitOk;
}

// Only plot draws, and only it needs widgets; the other commands run on Qt Core alone.
std::unique_ptr<QCoreApplication> Application(int& argc, char** argv)
{
#ifdef HALCYRA_PIL_PLOT
    const int command = argc > 1 && std::strcmp(argv[1], "--") == 0 ? 2 : 1;
    if (argc > command && std::strcmp(argv[command], "plot") == 0) return pil::PlotApplication(argc, argv);
#endif
    return std::make_unique<QCoreApplication>(argc, argv);
}

}  // namespace

int main(int argc, char** argv)
{
    const auto app = Application(argc, argv);
    tool::Identify("halcyra-pil");
    tool::IgnoreSigpipe();
    // A failed write stops the command at once: a reader that went away needs no more.
    std::cout.exceptions(std::ios::badbit);
    try {
        const int code = Run(QCoreApplication::arguments());
        std::cout.flush();
        return code;
    } catch (const std::ios_base::failure&) {
        return tool::OutputFailed(errno);
    } catch (const EUsageError& e) {
        tool::Complain(OneLine(e.what()));
        return tool::kExitUsage;
    } catch (const std::exception& e) {
        tool::Complain(OneLine(e.what()));
        return tool::kExitProblem;
    }
}
