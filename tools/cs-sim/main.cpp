// cs-sim: a central-station simulator. Listens for clients (127.0.0.1:8000 by default) and streams framed
// HL7 2.3 observation messages for a ward of simulated patients to every client, or, with --no-listen,
// writes the stream of a stretch of simulated time to a capture file as fast as it can.
#include "Station.h"
#include "StreamShaper.h"
#include "Ward.h"

#include "ToolConventions.h"
#include "hl7/Hl7Time.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>

#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

namespace {

using halcyra::tool::UsageError;

double NumberOption(const QCommandLineParser& parser, const QCommandLineOption& option, double low, double high)
{
    bool ok = false;
    const QString text = parser.value(option);
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < low || value > high)
        UsageError(
            QStringLiteral("--%1: not a number from %2 to %3: %4")
                .arg(option.names().first(), QString::number(low, 'g', 12), QString::number(high, 'g', 12), text));
    return value;
}

template <class T>
T WholeOption(const QCommandLineParser& parser, const QCommandLineOption& option, T low, T high)
{
    bool ok = false;
    const QString text = parser.value(option);
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < static_cast<qint64>(low) || value > static_cast<qint64>(high))
        UsageError(QStringLiteral("--%1: not a whole number from %2 to %3: %4")
                       .arg(option.names().first(), QString::number(low), QString::number(high), text));
    return static_cast<T>(value);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    halcyra::tool::Identify("cs-sim");

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Central-station simulator: streams framed HL7 2.3 observation messages for simulated beds to every "
        "client that connects. Prints the port it listens on as the first line of standard output.\n"
        "Exit codes: 0 done, 1 the port or the recording failed, 2 a wrong command line."));
    halcyra::tool::AddStandardOptions(parser);
    const QCommandLineOption listenOption(QStringLiteral("listen"), QStringLiteral("Address to listen on."),
                                          QStringLiteral("ADDR"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port; 0 takes any free port."),
                                        QStringLiteral("N"), QStringLiteral("8000"));
    const QCommandLineOption noListenOption(
        QStringLiteral("no-listen"),
        QStringLiteral("No network: write the stream of simulated time to --record as fast as possible."));
    const QCommandLineOption bedsOption(QStringLiteral("beds"), QStringLiteral("Number of beds (patients)."),
                                        QStringLiteral("N"), QStringLiteral("3"));
    const QCommandLineOption rateOption(
        QStringLiteral("rate"),
        QStringLiteral("Messages per bed per second; 0 sends as fast as the clients take them."), QStringLiteral("R"),
        QStringLiteral("1"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Seed of the simulation."),
                                        QStringLiteral("S"), QStringLiteral("1"));
    const QCommandLineOption recordOption(QStringLiteral("record"),
                                          QStringLiteral("Write every byte of the stream to FILE (replaced)."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption countOption(QStringLiteral("count"), QStringLiteral("Stop after N messages."),
                                         QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption durationOption(
        QStringLiteral("duration"), QStringLiteral("Stop after S seconds (of simulated time with --no-listen)."),
        QStringLiteral("S"), QStringLiteral("0"));
    const QCommandLineOption startOption(
        QStringLiteral("start"),
        QStringLiteral("Time of the first message, yyyymmddhhnnss; the message times then run on from it. "
                       "Default: the wall clock."),
        QStringLiteral("TIME"));
    const QCommandLineOption waitClientOption(QStringLiteral("wait-client"),
                                              QStringLiteral("Stream only while a client is connected."));
    const QCommandLineOption aperiodicOption(
        QStringLiteral("aperiodic-every"),
        QStringLiteral("Each bed takes a non-invasive blood pressure every S seconds (0: never)."), QStringLiteral("S"),
        QStringLiteral("300"));
    const QCommandLineOption garbageOption(QStringLiteral("garbage"),
                                           QStringLiteral("Probability of stray bytes before a message."),
                                           QStringLiteral("P"), QStringLiteral("0"));
    const QCommandLineOption splitOption(
        QStringLiteral("split"),
        QStringLiteral("Probability of a message written in pieces (half the time cut inside the end marker)."),
        QStringLiteral("P"), QStringLiteral("0"));
    const QCommandLineOption splitDelayOption(QStringLiteral("split-delay"),
                                              QStringLiteral("Pause before each later piece, in milliseconds."),
                                              QStringLiteral("MS"), QStringLiteral("20"));
    const QCommandLineOption crlfOption(QStringLiteral("crlf"), QStringLiteral("End segments with CR LF."));
    const QCommandLineOption dropEveryOption(
        QStringLiteral("drop-every"),
        QStringLiteral("Cut every N-th message off in the middle and drop the connections."), QStringLiteral("N"),
        QStringLiteral("0"));
    const QCommandLineOption silenceEveryOption(QStringLiteral("silence-every"),
                                                QStringLiteral("Fall silent after every N-th message."),
                                                QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption silenceOption(QStringLiteral("silence"), QStringLiteral("Length of a silence in seconds."),
                                           QStringLiteral("S"), QStringLiteral("30"));
    parser.addOptions({listenOption, portOption, noListenOption, bedsOption, rateOption, seedOption, recordOption,
                       countOption, durationOption, startOption, waitClientOption, aperiodicOption, garbageOption,
                       splitOption, splitDelayOption, crlfOption, dropEveryOption, silenceEveryOption, silenceOption});
    halcyra::tool::ParseOrExit(parser, QCoreApplication::arguments());
    if (!parser.positionalArguments().isEmpty())
        UsageError(QStringLiteral("unexpected argument: ") + parser.positionalArguments().first());

    // Every value is checked before anything is opened: a wrong one leaves no file behind.
    cssim::TStationOptions options;
    const int beds = WholeOption(parser, bedsOption, 1, 10000);
    options.rate = NumberOption(parser, rateOption, 0, 100000);
    options.count = WholeOption(parser, countOption, qint64{0}, std::numeric_limits<qint64>::max());
    options.duration = NumberOption(parser, durationOption, 0, 1e9);
    options.waitClient = parser.isSet(waitClientOption);
    options.silenceEvery = WholeOption(parser, silenceEveryOption, 0, 1000000000);
    options.silenceSeconds = NumberOption(parser, silenceOption, 0, 1e6);
    options.splitDelayMs = WholeOption(parser, splitDelayOption, 0, 60000);
    if (parser.isSet(startOption)) {
        const QString text = parser.value(startOption);
        halcyra::TDateTime start = 0;
        if (text.size() != 14 || !halcyra::TryHL7ToDateTime(text.toStdString(), start))
            UsageError(QStringLiteral("--start: not a time yyyymmddhhnnss: ") + text);
        options.start = start;
    }
    const double aperiodicEvery = NumberOption(parser, aperiodicOption, 0, 1e7);
    cssim::TFaults faults;
    faults.crlf = parser.isSet(crlfOption);
    faults.garbage = NumberOption(parser, garbageOption, 0, 1);
    faults.split = NumberOption(parser, splitOption, 0, 1);
    faults.dropEvery = WholeOption(parser, dropEveryOption, 0, 1000000000);
    bool seedOk = false;
    const quint64 seed = parser.value(seedOption).toULongLong(&seedOk);
    if (!seedOk) UsageError(QStringLiteral("--seed: not a whole number from 0: ") + parser.value(seedOption));
    const QHostAddress address(parser.value(listenOption));
    if (address.isNull()) UsageError(QStringLiteral("--listen: not an address: ") + parser.value(listenOption));
    const auto port = WholeOption<quint16>(parser, portOption, 0, 65535);
    const bool offline = parser.isSet(noListenOption);
    if (offline) {
        if (!parser.isSet(recordOption)) UsageError(QStringLiteral("--no-listen needs --record FILE"));
        if (options.rate <= 0) UsageError(QStringLiteral("--no-listen needs a --rate above 0"));
        if (options.count == 0 && options.duration == 0)
            UsageError(QStringLiteral("--no-listen needs --count or --duration"));
    }

    const halcyra::TDateTime start =
        options.start.value_or(std::floor(halcyra::NowLocal() / halcyra::kOneSecond) * halcyra::kOneSecond);
    cssim::TWard ward(beds, seed, start, aperiodicEvery);
    // The faults draw from their own numbers, so that they leave the messages themselves unchanged.
    cssim::TStreamShaper shaper(faults, seed ^ 0x9E3779B97F4A7C15ULL);

    std::optional<cssim::TRecorder> recorder;
    if (parser.isSet(recordOption)) {
        QString error;
        recorder.emplace();
        if (!recorder->Open(parser.value(recordOption), error)) {
            halcyra::tool::Complain(QStringLiteral("cannot write the recording: ") + parser.value(recordOption) +
                                    QStringLiteral(": ") + error);
            return halcyra::tool::kExitProblem;
        }
    }

    if (offline) {
        cssim::RecordOffline(options, start, ward, shaper, *recorder);
        return halcyra::tool::kExitOk;
    }

    cssim::TStation station(options, ward, shaper, recorder ? &*recorder : nullptr);
    station.finished = [] { QCoreApplication::exit(0); };
    QString error;
    if (!station.Listen(address, port, error)) {
        halcyra::tool::Complain(
            QStringLiteral("cannot listen on %1:%2: %3").arg(address.toString()).arg(port).arg(error));
        return halcyra::tool::kExitProblem;
    }
    std::printf("%u\n", station.Port());
    std::fflush(stdout);
    std::fprintf(stderr, "cs-sim: %d beds, %g messages per bed per second, on %s:%u\n", beds, options.rate,
                 qPrintable(address.toString()), station.Port());
    return QCoreApplication::exec();
}
