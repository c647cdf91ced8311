// halcyra-pil: create, extend, inspect, check and plot a monitor-data file on host paths.
#include "PilCommands.h"
#include "PilPlotPlan.h"
#include "platform/Text.h"
#ifdef HALCYRA_PIL_PLOT
#include "PilPlot.h"
#endif

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>

namespace {

using namespace halcyra;

constexpr int kUsageError = 2;

const char* kUsage =
    "Usage: halcyra-pil COMMAND FILE ...\n"
    "  create FILE --id ID --name NAME [--kind K] [--reserve N]\n"
    "  declare FILE LABEL [--unit U] [--place P] [--extra E] [--param-id I]\n"
    "  add FILE INDEX TIME VALUE\n"
    "  delimit FILE INDEX TIME [CODE]\n"
    "  dump FILE [--csv]\n"
    "  check FILE\n"
    "  plot FILE [--series LABEL,...] [--from TIME] [--to TIME] --output OUT.svg|OUT.png\n"
    "TIME is a date-time number (days since 1899-12-30) or YYYY-MM-DDThh:mm:ss[.fff] local time;\n"
    "plot also takes a time to the minute, YYYY-MM-DD hh:mm (a blank or a T between date and time).\n";

int Fail(const std::string& message, int code = 1)
{
    std::cerr << "halcyra-pil: " << message << std::endl;
    return code;
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

struct TCommand {
    const char* name;
    QStringList positionals;  // names; a trailing "[X]" is optional
    QList<QCommandLineOption> options;
    bool numbersFollow;  // positionals may be negative numbers
};

int Run(const QStringList& arguments)
{
    if (arguments.size() < 2)
        return Fail("no command given (create, declare, add, delimit, dump, check, plot)", kUsageError);
    const QString command = arguments[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return 0;
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
        {"check", {"FILE"}, {}, false},
        {"plot", {"FILE"}, {series, from, to, output}, false},
    };
    const auto found = std::find_if(commands.begin(), commands.end(),
                                    [&](const TCommand& c) { return command == QLatin1String(c.name); });
    if (found == commands.end()) return Fail("unknown command '" + command.toStdString() + "'", kUsageError);

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({"h", "help"}, "Show this help.");
    parser.addOption(help);
    parser.addOptions(found->options);
    for (const QString& positional : found->positionals) parser.addPositionalArgument(positional, positional);

    QStringList rest = arguments.mid(2);
    rest.prepend(arguments[0]);
    // Values such as -5.5 are numbers, not options: these commands take no options at all.
    if (found->numbersFollow && !rest.contains("--help") && !rest.contains("-h") && !rest.contains("--"))
        rest.insert(1, "--");
    if (!parser.parse(rest)) return Fail(parser.errorText().toStdString(), kUsageError);
    if (parser.isSet(help)) {
        std::cout << parser.helpText().toStdString();
        return 0;
    }

    const QStringList values = parser.positionalArguments();
    const auto required = std::count_if(found->positionals.begin(), found->positionals.end(),
                                        [](const QString& p) { return !p.startsWith('['); });
    if (values.size() < required || values.size() > found->positionals.size())
        return Fail(std::string(found->name) + " expects " + found->positionals.join(' ').toStdString(), kUsageError);

    const std::filesystem::path file = HostPath(values[0]);
    const std::string which = found->name;
    try {
        if (which == "create") {
            if (!parser.isSet(id) || !parser.isSet(name)) return Fail("create needs --id and --name", kUsageError);
            pil::Create(file, Text(parser.value(id)), Text(parser.value(name)), Text(parser.value(kind)),
                        pil::ParseReserve(parser.value(reserve).toStdString()));
        } else if (which == "declare") {
            std::cout << pil::Declare(file, Text(values[1]), Text(parser.value(unit)), Text(parser.value(place)),
                                      Text(parser.value(extra)), Text(parser.value(paramId)))
                      << std::endl;
        } else if (which == "add") {
            pil::AddValue(file, pil::ParseIndex(values[1].toStdString()), pil::ParseTime(values[2].toStdString()),
                          pil::ParseValue(values[3].toStdString()));
        } else if (which == "delimit") {
            pil::AddDelimiter(file, pil::ParseIndex(values[1].toStdString()), pil::ParseTime(values[2].toStdString()),
                              values.size() > 3 ? pil::ParseCode(values[3].toStdString()) : 0);
        } else if (which == "dump") {
            return pil::Dump(file, parser.isSet(csv), std::cout, std::cerr) ? 0 : 1;
        } else if (which == "check") {
            return pil::Check(file, std::cout) ? 0 : 1;
        } else if (which == "plot") {
            if (!parser.isSet(output)) return Fail("plot needs --output OUT.svg or OUT.png", kUsageError);
            pil::TPlotRequest request;
            for (const QString& labels : parser.values(series))
                for (const QString& label : labels.split(',', Qt::SkipEmptyParts))
                    request.labels.push_back(Text(label));
            if (parser.isSet(from)) request.from = pil::ParsePlotTime(parser.value(from).toStdString());
            if (parser.isSet(to)) request.to = pil::ParsePlotTime(parser.value(to).toStdString());
#ifdef HALCYRA_PIL_PLOT
            return pil::Plot(file, request, HostPath(parser.value(output)), std::cerr) ? 0 : 1;
#else
            return Fail("plot: this halcyra-pil was built without Qt Charts");
#endif
        }
    } catch (const pil::EPilError&) {
        throw;
    } catch (const std::exception& e) {
        // Say which file the library's message is about.
        throw pil::EPilError(pil::Shown(file) + ": " + e.what());
    }
    return 0;
}

// Only plot draws, and only it needs widgets; the other commands run on Qt Core alone.
std::unique_ptr<QCoreApplication> Application(int& argc, char** argv)
{
#ifdef HALCYRA_PIL_PLOT
    if (argc > 1 && std::strcmp(argv[1], "plot") == 0) return pil::PlotApplication(argc, argv);
#endif
    return std::make_unique<QCoreApplication>(argc, argv);
}

}  // namespace

int main(int argc, char** argv)
{
    const auto app = Application(argc, argv);
    try {
        return Run(QCoreApplication::arguments());
    } catch (const std::exception& e) {
        // Library messages may span lines (the identity check); the user gets one.
        std::string message = e.what();
        for (std::size_t at = 0; (at = message.find("\r\n", at)) != std::string::npos;) message.replace(at, 2, "; ");
        std::replace(message.begin(), message.end(), '\n', ' ');
        return Fail(Win1252ToUtf8(EscapeControlCharacters(message)));
    }
}
