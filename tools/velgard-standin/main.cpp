// velgard-standin: a stand-in for the data manager on the D-Bus session bus. It owns the data manager's
// name, accepts the four calls Halcyra makes and prints one JSON line per call; it can be told to refuse
// or never answer a method, or to answer every call late. Ends cleanly on SIGTERM or SIGINT.
#include "StandinObject.h"
#include "ToolConventions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>

namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1);
}

QSet<QString> MethodSet(const QStringList& names, const char* option)
{
    QSet<QString> result;
    const QStringList known = TStandinObject::MethodNames();
    for (const QString& name : names) {
        if (!known.contains(name))
            halcyra::tool::UsageError(QStringLiteral("unknown method for --%1: %2 (one of %3)")
                                          .arg(QLatin1String(option), name, known.join(QStringLiteral(", "))));
        result.insert(name);
    }
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    namespace tool = halcyra::tool;
    QCoreApplication app(argc, argv);
    tool::Identify("velgard-standin");

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Stand-in data manager: owns com.tovarin.Velgard on the session bus and prints each call as JSON.\n"
        "Exit codes: 0 ended by SIGTERM or SIGINT, 1 no session bus, the name is taken or the output cannot be "
        "written, 2 a wrong command line."));
    tool::AddStandardOptions(parser);
    const QCommandLineOption outputOption(QStringLiteral("output"),
                                          QStringLiteral("Write the JSON lines to FILE (replaced) instead of stdout."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption failOption(QStringLiteral("fail"),
                                        QStringLiteral("Answer METHOD with a D-Bus error (repeatable)."),
                                        QStringLiteral("METHOD"));
    const QCommandLineOption hangOption(QStringLiteral("hang"), QStringLiteral("Never answer METHOD (repeatable)."),
                                        QStringLiteral("METHOD"));
    const QCommandLineOption serviceOption(QStringLiteral("service"),
                                           QStringLiteral("Own NAME instead of com.tovarin.Velgard."),
                                           QStringLiteral("NAME"), QStringLiteral("com.tovarin.Velgard"));
    const QCommandLineOption delayOption(
        QStringLiteral("delay"),
        QStringLiteral("Send every answer (a refusal too) MS milliseconds after its call, in the order the calls "
                       "came; each call is still printed at once."),
        QStringLiteral("MS"), QStringLiteral("0"));
    parser.addOptions({outputOption, failOption, hangOption, serviceOption, delayOption});
    tool::ParseOrExit(parser, QCoreApplication::arguments());
    if (!parser.positionalArguments().isEmpty())
        tool::UsageError(QStringLiteral("unexpected argument: ") + parser.positionalArguments().first());
    bool delayOk = false;
    const int delayMs = parser.value(delayOption).toInt(&delayOk);
    if (!delayOk || delayMs < 0 || delayMs > 3600 * 1000)
        tool::UsageError(QStringLiteral("--delay: not a number of milliseconds from 0 to 3600000: ") +
                         parser.value(delayOption));
    const QSet<QString> failing = MethodSet(parser.values(failOption), "fail");
    const QSet<QString> hanging = MethodSet(parser.values(hangOption), "hang");

    QFile output;
    if (parser.isSet(outputOption)) {
        output.setFileName(parser.value(outputOption));
        if (!output.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
            std::fprintf(stderr, "velgard-standin: cannot write %s: %s\n", qPrintable(output.fileName()),
                         qPrintable(output.errorString()));
            return 1;
        }
    } else if (!output.open(stdout, QIODevice::WriteOnly)) {
        std::fprintf(stderr, "velgard-standin: cannot write to standard output\n");
        return 1;
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        std::perror("velgard-standin: socketpair");
        return 1;
    }
    QSocketNotifier signalNotifier(signalPipe[1], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    TStandinObject object(output, failing, hanging, delayMs);
    // A connection of its own rather than sessionBus(): that one holds back incoming calls until the event loop
    // runs, and a call that arrives just as it lets them through can overtake the ones it held, so a data
    // manager that is called the moment it owns its name would hear them out of order.
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("velgard-standin"));
    if (!bus.isConnected()) {
        std::fprintf(stderr, "velgard-standin: no D-Bus session bus: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    if (!bus.registerObject(QStringLiteral("/QuarzelAutoObject"), &object, QDBusConnection::ExportScriptableSlots)) {
        std::fprintf(stderr, "velgard-standin: cannot register /QuarzelAutoObject\n");
        return 1;
    }
    const QString service = parser.value(serviceOption);
    if (!bus.registerService(service)) {
        std::fprintf(stderr, "velgard-standin: cannot own %s: %s\n", qPrintable(service),
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    std::fprintf(stderr, "velgard-standin: serving %s\n", qPrintable(service));

    const int code = app.exec();
    bus.unregisterService(service);
    bus.unregisterObject(QStringLiteral("/QuarzelAutoObject"));
    return code;
}
