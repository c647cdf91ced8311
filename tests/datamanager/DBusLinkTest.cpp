// The D-Bus link against the stand-in data manager, started as a child process on the private session
// bus the tests run on.
#include "datamanager/DBusQuarzelAutoObject.h"
#include "datamanager/DataManagerLink.h"
#include "support/TempDir.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>
#include <csignal>
#include <fstream>

namespace halcyra {
namespace {

const QString kService = QStringLiteral("com.tovarin.Velgard");

bool ServiceOwned(const QString& service)
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(service).value();
}

// Test programs run in parallel on one session bus, so each stand-in owns a name of its own.
QString UniqueServiceName()
{
    static int counter = 0;
    return QStringLiteral("com.tovarin.VelgardTest.p%1_%2").arg(::getpid()).arg(++counter);
}

TDBusLinkOptions ShortTimeout()
{
    TDBusLinkOptions options;
    options.callTimeoutMs = 300;
    return options;
}

// One stand-in data manager for the length of a test, ended by its process id.
class TStandin {
public:
    explicit TStandin(const QStringList& options, QString service = UniqueServiceName())
        : service_(std::move(service)), output_(QString::fromStdString((dir_ / "calls.jsonl").string()))
    {
        if (!QDBusConnection::sessionBus().isConnected()) {
            ADD_FAILURE() << "no D-Bus session bus: run the tests under dbus-run-session, as scripts/test.sh does";
            return;
        }
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(VELGARD_STANDIN_PATH),
                       QStringList{"--output", output_, "--service", service_} + options);
        started_ = process_.waitForStarted() && QTest::qWaitFor([this] { return ServiceOwned(service_); }, 10000);
    }
    ~TStandin() { Stop(); }

    bool Started() const { return started_; }

    // Link options that address this stand-in, with a short call timeout.
    TDBusLinkOptions Options(int callTimeoutMs = ShortTimeout().callTimeoutMs) const
    {
        TDBusLinkOptions options = ShortTimeout();
        options.callTimeoutMs = callTimeoutMs;
        options.service = service_;
        return options;
    }

    // SIGTERM ends it cleanly; true when it did.
    bool Stop()
    {
        if (process_.state() == QProcess::NotRunning) return process_.exitStatus() == QProcess::NormalExit;
        ::kill(static_cast<pid_t>(process_.processId()), SIGTERM);
        const bool ended = process_.waitForFinished(10000);
        if (!ended) process_.kill();
        const bool released = QTest::qWaitFor([this] { return !ServiceOwned(service_); }, 10000);
        return ended && released && process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
    }

    // The calls recorded so far, one JSON object each.
    std::vector<QJsonObject> Calls() const
    {
        QFile file(output_);
        std::vector<QJsonObject> calls;
        if (!file.open(QIODevice::ReadOnly)) return calls;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (!line.isEmpty()) calls.push_back(QJsonDocument::fromJson(line).object());
        }
        return calls;
    }

    std::vector<QString> Methods() const
    {
        std::vector<QString> methods;
        for (const QJsonObject& call : Calls()) methods.push_back(call.value("method").toString());
        return methods;
    }

private:
    test::TTempDir dir_;
    QString service_;
    QString output_;
    QProcess process_;
    bool started_ = false;
};

// The link looks at its answers on the run's tick.
bool Ticked(TDataManagerLink& link)
{
    link.Tick();
    return true;
}

// What the transport reports, counted.
struct TEvents final : IDataManagerEvents {
    void CallAnswered() override { ++answered; }
    void CallFailed(const std::string& cause, bool late) override { failures.push_back({cause, late}); }
    void DataManagerAppeared() override { ++appeared; }
    void DataManagerGone(const std::string& cause) override { gone.push_back(cause); }
    int answered = 0;
    std::vector<std::pair<std::string, bool>> failures;
    int appeared = 0;
    std::vector<std::string> gone;
};

TEST(DBusLink, WithoutADataManagerCreationFails)
{
    TDBusLinkOptions options = ShortTimeout();
    options.service = UniqueServiceName();
    TDBusDataManagerLinkFactory factory(QDBusConnection::sessionBus(), options);
    TEvents events;
    EXPECT_THROW(factory.Create(events), EDataManagerError);
    TSystemClock clock;
    TDataManagerLink link(clock);
    EXPECT_EQ(link.CreateDataManagerLink(factory, "", false), TDataManagerLinkResult::Failed);
    EXPECT_FALSE(link.LinkEnabled());
}

TEST(DBusLink, CallsArriveInOrderWithTheirArgumentsAndTextAsUtf8)
{
    TStandin standin({});
    ASSERT_TRUE(standin.Started());
    TDBusDataManagerLinkFactory factory(QDBusConnection::sessionBus(), standin.Options());
    TEvents events;
    auto object = factory.Create(events);
    ASSERT_NE(object, nullptr);

    object->NotifyDataChanged();
    object->SetCollectorState(0, 2);
    // 45000.5 is 2023-03-15 12:00:00; "\xB0" is the degree sign in Windows-1252.
    object->AddValue("123456", "Temp",
                     "\xB0"
                     "C",
                     45000.5, 37.25);
    object->AddDelimiter(0, "Temp",
                         "\xB0"
                         "C",
                         45000.5 + 1.0 / 86400, 0);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            object->DeliverAnswers();
            return events.answered == 4;
        },
        10000));
    EXPECT_TRUE(events.failures.empty());

    const auto calls = standin.Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].value("method").toString(), "NotifyDataChanged");
    EXPECT_EQ(calls[1].value("state").toInt(), 2);
    EXPECT_EQ(calls[1].value("source").toInt(), 0);
    EXPECT_EQ(calls[2].value("patientId").toString(), "123456");
    EXPECT_EQ(calls[2].value("unit").toString(), QString::fromUtf8("\u00B0C"));
    EXPECT_EQ(calls[2].value("time").toDouble(), 45000.5);
    EXPECT_EQ(calls[2].value("timeText").toString(), "2023-03-15T12:00:00");
    EXPECT_EQ(calls[2].value("value").toDouble(), 37.25);
    EXPECT_EQ(calls[3].value("method").toString(), "AddDelimiter");
    EXPECT_EQ(calls[3].value("timeText").toString(), "2023-03-15T12:00:01");
    EXPECT_EQ(calls[3].value("label").toString(), "Temp");
    for (const auto& call : calls) EXPECT_EQ(call.value("result").toString(), "ok");

    EXPECT_TRUE(standin.Stop());
}

// After the link ends, a direct call on a fresh object marks the end of the stream: anything the link
// had sent would have arrived before it.
void SendMarker(const TStandin& standin)
{
    TDBusDataManagerLinkFactory factory(QDBusConnection::sessionBus(), standin.Options());
    TEvents events;
    const auto object = factory.Create(events);
    object->SetCollectorState(0, 1);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            object->DeliverAnswers();
            return events.answered == 1;
        },
        10000));
}

TEST(DBusLink, ARefusalEndsTheLinkWhenItsAnswerArrivesAndNothingFollows)
{
    TStandin standin({"--fail", "AddValue"});
    ASSERT_TRUE(standin.Started());
    TDBusDataManagerLinkFactory factory(QDBusConnection::sessionBus(), standin.Options());
    TSystemClock clock;
    TDataManagerLink link(clock);
    ASSERT_EQ(link.CreateDataManagerLink(factory, "", false), TDataManagerLinkResult::Created);

    EXPECT_TRUE(link.AddValue("123456", "HR", "bpm", 45000.5, 72));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Ticked(link) && !link.LinkEnabled(); }, 10000));
    EXPECT_NE(link.State().lastError.find("AddValue refused by the stand-in"), std::string::npos)
        << link.State().lastError;
    EXPECT_FALSE(link.NotifyDataChanged());
    EXPECT_FALSE(link.AddValue("123456", "SpO2", "%", 45000.5, 98));
    EXPECT_FALSE(link.AddDelimiter("HR", "bpm", 45000.6));
    SendMarker(standin);

    EXPECT_EQ(standin.Methods(), (std::vector<QString>{"AddValue", "SetCollectorState"}));
    EXPECT_EQ(standin.Calls().front().value("result").toString(), "failed");
}

TEST(DBusLink, AHangingDataManagerNeverHoldsTheCallerAndIsLostAfterTheLimit)
{
    TStandin standin({"--hang", "AddValue"});
    ASSERT_TRUE(standin.Started());
    TDBusDataManagerLinkFactory factory(QDBusConnection::sessionBus(), standin.Options());
    TSystemClock clock;
    TDataManagerLink link(clock);
    ASSERT_EQ(link.CreateDataManagerLink(factory, "", false), TDataManagerLinkResult::Created);

    // The calls return before any answer: three await theirs.
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(link.AddValue("1", "HR", "bpm", 45000.5, 60 + i));
    EXPECT_EQ(link.State().backlog, 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Ticked(link) && !link.LinkEnabled(); }, 10000));
    const TDataManagerState state = link.State();
    EXPECT_NE(state.lastError.find("NoReply"), std::string::npos) << state.lastError;
    EXPECT_EQ(state.backlog, 0);
    EXPECT_EQ(standin.Methods(), (std::vector<QString>{"AddValue", "AddValue", "AddValue"}));
    EXPECT_TRUE(standin.Stop());
}

// The end of a run and an import wait for answers without running the event loop, so no tick or socket
// of the run is handled meanwhile.
TEST(DBusLink, AnswersAreAwaitedWithoutTheEventLoop)
{
    TStandin standin({});
    ASSERT_TRUE(standin.Started());
    // The short call timeout of the other tests would end the link whenever the loaded stand-in is slow.
    TDBusDataManagerLinkFactory factory(QDBusConnection::sessionBus(), standin.Options(60000));
    TSystemClock clock;
    TDataManagerLink link(clock);
    ASSERT_EQ(link.CreateDataManagerLink(factory, "", false), TDataManagerLinkResult::Created);
    link.SetMayWait(true);
    for (std::size_t i = 0; i < kPacedCallsAwaitingAnswer + 50; ++i) ASSERT_TRUE(link.AddValue("1", "HR", "bpm", 1, 2));
    EXPECT_LE(link.State().backlog, static_cast<std::int64_t>(kPacedCallsAwaitingAnswer));
    // A generous limit: a thousand answers from a stand-in under the sanitizers, on a loaded machine, took over
    // 10 s. The test is about waiting without the event loop, not about how fast the stand-in answers.
    EXPECT_TRUE(link.AwaitOutstanding(60));
    EXPECT_EQ(link.State().backlog, 0);
    EXPECT_TRUE(link.LinkEnabled()) << link.State().lastError;
}

TEST(DBusLink, ADataManagerThatStartsAgainIsUsedAgain)
{
    const QString service = UniqueServiceName();
    auto first = std::make_unique<TStandin>(QStringList{}, service);
    ASSERT_TRUE(first->Started());
    TDBusDataManagerLinkFactory factory(QDBusConnection::sessionBus(), first->Options());
    TSystemClock clock;
    TDataManagerLink link(clock);
    ASSERT_EQ(link.CreateDataManagerLink(factory, "", false), TDataManagerLinkResult::Created);
    EXPECT_TRUE(link.StartCollecting());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Ticked(link) && link.State().backlog == 0; }, 10000));
    ASSERT_TRUE(first->Stop());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Ticked(link) && !link.LinkEnabled(); }, 10000));
    EXPECT_EQ(link.State().lastError, "the data manager left the D-Bus session bus");
    EXPECT_FALSE(link.AddValue("1", "HR", "bpm", 45000.5, 60));

    TStandin second({}, service);
    ASSERT_TRUE(second.Started());
    ASSERT_TRUE(QTest::qWaitFor([&] { return link.LinkEnabled(); }, 10000));
    EXPECT_TRUE(link.AddValue("1", "HR", "bpm", 45000.5, 61));
    ASSERT_TRUE(QTest::qWaitFor([&] { return second.Calls().size() == 3; }, 10000));
    EXPECT_EQ(second.Methods(), (std::vector<QString>{"SetCollectorState", "NotifyDataChanged", "AddValue"}));
    EXPECT_EQ(second.Calls().front().value("state").toInt(), 2);
    EXPECT_EQ(second.Calls().back().value("value").toDouble(), 61);
}

// A bus daemon of the test's own, whose only service file starts the stand-in on demand. Ended by its
// process id, also when the test fails half-way.
class TPrivateBus {
public:
    TPrivateBus()
    {
        std::filesystem::create_directory(dir_ / "services");
        std::ofstream(dir_ / "bus.conf")
            << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
               "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig><type>session</type><listen>unix:path="
            << Socket() << "</listen><auth>EXTERNAL</auth><servicedir>" << (dir_ / "services").string()
            << "</servicedir><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
               "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n";
        std::ofstream(dir_ / "services" / "com.tovarin.Velgard.service")
            << "[D-BUS Service]\nName=com.tovarin.Velgard\nExec=/usr/bin/env DBUS_SESSION_BUS_ADDRESS=unix:path="
            << Socket() << " " << VELGARD_STANDIN_PATH << " --output " << CallsFile() << "\n";
        daemon_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        daemon_.start(
            QStringLiteral("dbus-daemon"),
            {"--nofork", "--print-address", QString::fromStdString("--config-file=" + (dir_ / "bus.conf").string())});
        // The address line comes once the bus listens.
        ready_ = daemon_.waitForStarted() && daemon_.waitForReadyRead(10000);
    }
    ~TPrivateBus()
    {
        QDBusConnection::disconnectFromBus(kConnectionName);
        if (daemon_.state() == QProcess::NotRunning) return;
        ::kill(static_cast<pid_t>(daemon_.processId()), SIGTERM);
        if (!daemon_.waitForFinished(10000)) daemon_.kill();
    }

    bool Ready() const { return ready_; }
    // The bus ends at once, as a crashed daemon does.
    void Kill()
    {
        daemon_.kill();
        daemon_.waitForFinished(10000);
    }
    std::string Socket() const { return (dir_ / "bus").string(); }
    std::string CallsFile() const { return (dir_ / "calls.jsonl").string(); }
    QDBusConnection Connect() const
    {
        return QDBusConnection::connectToBus(QString::fromStdString("unix:path=" + Socket()), kConnectionName);
    }

private:
    inline static const QString kConnectionName = QStringLiteral("halcyra-test-private-bus");
    test::TTempDir dir_;
    QProcess daemon_;
    bool ready_ = false;
};

TEST(DBusLink, ActivatableDataManagerIsStartedOnCreation)
{
    TPrivateBus privateBus;
    ASSERT_TRUE(privateBus.Ready());
    QDBusConnection bus = privateBus.Connect();
    ASSERT_TRUE(bus.isConnected());
    ASSERT_FALSE(bus.interface()->isServiceRegistered(kService).value());

    TDBusDataManagerLinkFactory factory(bus, ShortTimeout());
    TSystemClock clock;
    TDataManagerLink link(clock);
    ASSERT_EQ(link.CreateDataManagerLink(factory, "", false), TDataManagerLinkResult::Created);
    EXPECT_TRUE(bus.interface()->isServiceRegistered(kService).value());
    EXPECT_TRUE(link.NotifyDataChanged());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Ticked(link) && link.State().backlog == 0; }, 10000));

    const uint pid = bus.interface()->servicePid(kService).value();
    ASSERT_NE(pid, 0u);
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !bus.interface()->isServiceRegistered(kService).value(); }, 10000));

    std::ifstream recorded(privateBus.CallsFile());
    std::string line;
    ASSERT_TRUE(std::getline(recorded, line));
    EXPECT_NE(line.find("\"NotifyDataChanged\""), std::string::npos) << line;
}

TEST(DBusLink, ABusThatClosesEndsTheLinkWithItsCause)
{
    TPrivateBus privateBus;
    ASSERT_TRUE(privateBus.Ready());
    QDBusConnection bus = privateBus.Connect();
    ASSERT_TRUE(bus.isConnected());
    TDBusDataManagerLinkFactory factory(bus, ShortTimeout());
    TSystemClock clock;
    TDataManagerLink link(clock);
    ASSERT_EQ(link.CreateDataManagerLink(factory, "", false), TDataManagerLinkResult::Created);
    const uint pid = bus.interface()->servicePid(kService).value();
    ASSERT_NE(pid, 0u);

    privateBus.Kill();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Ticked(link) && !link.LinkEnabled(); }, 10000));
    EXPECT_EQ(link.State().lastError, kBusClosedCause);
    EXPECT_FALSE(link.AddValue("1", "HR", "bpm", 45000.5, 60));
    ::kill(static_cast<pid_t>(pid), SIGTERM);
}

TEST(DBusLink, CallWithoutABusFailsAtOnce)
{
    QDBusConnection none = QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                                         QStringLiteral("halcyra-test-no-bus"));
    ASSERT_FALSE(none.isConnected());
    TDBusDataManagerLinkFactory factory(none, ShortTimeout());
    TEvents events;
    EXPECT_THROW(factory.Create(events), EDataManagerError);
    TDBusQuarzelAutoObject object(none, ShortTimeout(), events);
    EXPECT_THROW(object.NotifyDataChanged(), EDataManagerError);
    QDBusConnection::disconnectFromBus(QStringLiteral("halcyra-test-no-bus"));
}

}  // namespace
}  // namespace halcyra
