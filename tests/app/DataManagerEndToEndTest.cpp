// The link to the data manager as a running service lives it: `halcyra --service` collects from cs-sim on
// loopback while the stand-in data manager answers late, is killed and comes back, or loses its bus, and
// while the service itself is killed. Each test runs a D-Bus daemon of its own on a socket in its folder, so
// that it can kill the bus and start it again on the same address without touching other tests.
#include "CollectingSettings.h"
#include "FileSeries.h"
#include "StandinCalls.h"
#include "app/HalcyraApplication.h"
#include "platform/DateTime.h"
#include "platform/Registry.h"
#include "settings/SettingsStore.h"
#include "support/TempDir.h"
#include "ui/OnlyOne.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

constexpr int kWaitMs = 60000;
constexpr qint64 kStopWithinMs = 15000;
const std::string kBusCause = "the D-Bus session bus closed the connection";

QString Q(const fs::path& path)
{
    return QString::fromStdString(path.string());
}

std::int64_t NowSeconds()
{
    return std::llround(NowLocal() * 86400.0);
}

using test::TValue;

// What `halcyra --status` printed, and how long the whole query took.
struct TStatus {
    int code = -1;
    QByteArray out;
    QByteArray err;
    qint64 ms = 0;
};

class DataManagerEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable("dbus-daemon").isEmpty()) GTEST_SKIP() << "no dbus-daemon";
        fs::create_directories(dir_ / "registry");
        fs::create_directories(dir_ / "prefix");
        QObject::connect(&halcyra_, &QProcess::readyReadStandardError, &context_,
                         [this] { log_ += QString::fromUtf8(halcyra_.readAllStandardError()); });
        ASSERT_NO_FATAL_FAILURE(StartBus());
    }

    void TearDown() override
    {
        QDBusConnection::disconnectFromBus(kTestConnection);
        for (QProcess* process : {&halcyra_, &sim_, &standin_, &bus_}) {
            if (process->state() == QProcess::NotRunning) continue;
            ::kill(static_cast<pid_t>(process->processId()), SIGTERM);
            if (!process->waitForFinished(10000)) {
                process->kill();
                process->waitForFinished();
            }
        }
    }

    // Without a GUID in the address, so that the service and the stand-in also reach a bus started again.
    void StartBus()
    {
        busAddress_ = "unix:path=" + Q(dir_ / "bus");
        bus_.start("dbus-daemon", {"--session", "--nofork", "--print-address", "--address=" + busAddress_});
        ASSERT_TRUE(bus_.waitForStarted(10000));
        // The address comes once the bus listens.
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return bus_.canReadLine() || bus_.state() == QProcess::NotRunning; }, kWaitMs));
        ASSERT_TRUE(bus_.readLine().startsWith(busAddress_.toUtf8())) << bus_.readAllStandardError().toStdString();
    }

    void KillBus()
    {
        ::kill(static_cast<pid_t>(bus_.processId()), SIGKILL);
        ASSERT_TRUE(bus_.waitForFinished(kWaitMs));
    }

    QProcessEnvironment Environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", busAddress_);
        return env;
    }

    void Settings(int intervalSeconds)
    {
        test::WriteCollectingSettings(dir_ / "registry", static_cast<std::uint32_t>(intervalSeconds));
        TRegistry registry(dir_ / "registry" / "HKEY_CURRENT_USER.reg", dir_ / "registry" / "HKEY_LOCAL_MACHINE.reg");
        registry.CurrentUser().WriteDword(kProgramKey, "TimerInterval", 100);
    }

    // A stand-in of its own each time, with a calls file of its own (CallsFile()).
    void StartStandin(const QStringList& options = {})
    {
        callsFile_ = dir_ / ("calls-" + std::to_string(++standins_) + ".jsonl");
        standin_.setProcessEnvironment(Environment());
        standin_.start(VELGARD_STANDIN_EXE, QStringList{"--output", Q(callsFile_)} + options);
        ASSERT_TRUE(standin_.waitForStarted(10000));
        QByteArray err;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                err += standin_.readAllStandardError();
                return err.contains("serving") || standin_.state() == QProcess::NotRunning;
            },
            kWaitMs));
        ASSERT_TRUE(err.contains("serving")) << err.toStdString();
    }

    void StopStandin(int signal)
    {
        ::kill(static_cast<pid_t>(standin_.processId()), signal);
        ASSERT_TRUE(standin_.waitForFinished(kWaitMs));
    }

    // cs-sim on a free port, one message per bed per second.
    void StartSim(int beds)
    {
        sim_.start(CS_SIM, {"--port", "0", "--beds", QString::number(beds), "--rate", "1", "--seed", "31",
                            "--aperiodic-every", "0"});
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return sim_.canReadLine() || sim_.state() == QProcess::NotRunning; }, kWaitMs));
        simPort_ = sim_.readLine().trimmed().toInt();
        ASSERT_GT(simPort_, 0) << sim_.readAllStandardError().toStdString();
    }

    void StartHalcyra()
    {
        halcyra_.setProcessEnvironment(Environment());
        halcyra_.start(HALCYRA_EXE, {"--service", "--cs-port", QString::number(simPort_), "--registry",
                                     Q(dir_ / "registry"), "--prefix", Q(dir_ / "prefix")});
        ASSERT_TRUE(halcyra_.waitForStarted(10000));
    }

    // SIGTERM, as systemd sends it: the service must be gone within kStopWithinMs, cleanly.
    void StopHalcyra()
    {
        QElapsedTimer stopping;
        stopping.start();
        ::kill(static_cast<pid_t>(halcyra_.processId()), SIGTERM);
        ASSERT_TRUE(halcyra_.waitForFinished(kWaitMs)) << log_.toStdString();
        EXPECT_LT(stopping.elapsed(), kStopWithinMs) << "SIGTERM took " << stopping.elapsed() << " ms";
        EXPECT_EQ(halcyra_.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(halcyra_.exitCode(), 0) << log_.toStdString();
    }

    // Starts the service and kills it with SIGKILL the moment the stand-in records the n-th AddValue of this
    // run. The calls file is watched (inotify) from an event loop that wakes at once, so a value told before
    // it was written has no time to reach the file.
    void KillHalcyraAtValue(int n)
    {
        const qint64 offset = QFileInfo(Q(callsFile_)).size();
        QFileSystemWatcher watcher({Q(callsFile_)});
        QEventLoop loop;
        bool killed = false;
        const auto look = [&] {
            QFile file(Q(callsFile_));
            if (killed || !file.open(QIODevice::ReadOnly) || !file.seek(offset)) return;
            if (file.readAll().count("\"method\":\"AddValue\"") < n) return;
            ::kill(static_cast<pid_t>(halcyra_.processId()), SIGKILL);
            killed = true;
            loop.quit();
        };
        QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, &loop, look);
        QTimer::singleShot(kWaitMs, &loop, &QEventLoop::quit);
        ASSERT_NO_FATAL_FAILURE(StartHalcyra());
        look();
        if (!killed) loop.exec();
        ASSERT_TRUE(killed) << "no value told in this run\n" << log_.toStdString();
        ASSERT_TRUE(halcyra_.waitForFinished(kWaitMs));
        ASSERT_EQ(halcyra_.exitStatus(), QProcess::CrashExit);
    }

    TStatus AskStatus(bool json)
    {
        QProcess query;
        QElapsedTimer took;
        took.start();
        query.start(HALCYRA_EXE, QStringList{"--status", "--registry", Q(dir_ / "registry")} +
                                     (json ? QStringList{"--json"} : QStringList{}));
        EXPECT_TRUE(query.waitForFinished(kWaitMs));
        return {query.exitCode(), query.readAllStandardOutput(), query.readAllStandardError(), took.elapsed()};
    }

    // The service's own answer to a status query, asked from this process as `halcyra --status --json` asks
    // it, so that the time taken is the service's and not the start-up of a query process.
    TStatus AskStatusHere()
    {
        TRegistry registry(dir_ / "registry" / "HKEY_CURRENT_USER.reg", dir_ / "registry" / "HKEY_LOCAL_MACHINE.reg");
        TStatus status;
        QElapsedTimer took;
        took.start();
        const TOnlyOne::TStatusReply reply = TOnlyOne::AskStatus(registry.CurrentUser().File(), true);
        status.out = reply.text;
        status.code = reply.result == TOnlyOne::TStatusReply::Answered ? 0 : 1;
        status.ms = took.elapsed();
        return status;
    }

    QJsonObject DataManagerStatus()
    {
        const TStatus status = AskStatus(true);
        const QJsonObject dataManager = QJsonDocument::fromJson(status.out).object()["dataManager"].toObject();
        // A lost data manager makes the run unhealthy: exit code 3, not 1 (nothing runs).
        EXPECT_EQ(status.code, dataManager["connected"].toBool() ? 0 : 3) << status.err.toStdString();
        return dataManager;
    }

    QString DataManagerLine()
    {
        const TStatus status = AskStatus(false);
        EXPECT_TRUE(status.code == 0 || status.code == 3) << status.code << status.err.toStdString();
        for (const QString& line : QString::fromUtf8(status.out).split('\n'))
            if (line.startsWith("Data manager: ")) return line;
        return "(no data-manager line in: " + QString::fromUtf8(status.out) + ")";
    }

    // Until the status says the link is lost; then both forms must agree on the time and the JSON form must
    // name a cause. Returns the text line's cause.
    std::string WaitUntilLost(std::int64_t notBefore)
    {
        QJsonObject link;
        const bool lost = QTest::qWaitFor(
            [&] {
                link = DataManagerStatus();
                return link.contains("connected") && !link["connected"].toBool();
            },
            kWaitMs);
        EXPECT_TRUE(lost) << QJsonDocument(link).toJson().toStdString() << log_.toStdString();
        EXPECT_TRUE(link["used"].toBool());
        EXPECT_FALSE(link["lastError"].toString().isEmpty()) << QJsonDocument(link).toJson().toStdString();
        const std::string since = link["since"].toString().toStdString();
        EXPECT_GE(test::LocalSeconds(since), notBefore - 1) << since;
        EXPECT_LE(test::LocalSeconds(since), NowSeconds() + 1) << since;

        const QString line = DataManagerLine();
        const QRegularExpressionMatch match =
            QRegularExpression("^Data manager: lost since (\\d\\d:\\d\\d:\\d\\d): (.+)$").match(line);
        EXPECT_TRUE(match.hasMatch()) << line.toStdString();
        EXPECT_EQ(match.captured(1).toStdString(), since.substr(std::min<std::size_t>(11, since.size()), 8));
        return match.captured(2).toStdString();
    }

    void WaitUntilConnected()
    {
        QJsonObject link;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                link = DataManagerStatus();
                return link["connected"].toBool();
            },
            kWaitMs))
            << QJsonDocument(link).toJson().toStdString() << log_.toStdString();
        EXPECT_EQ(DataManagerLine(), "Data manager: connected");
    }

    // The calls the current stand-in recorded, in order.
    std::vector<QJsonObject> Calls() const { return test::ReadStandinCalls(callsFile_); }

    static std::vector<QString> Methods(const std::vector<QJsonObject>& calls)
    {
        std::vector<QString> methods;
        for (const QJsonObject& call : calls) methods.push_back(call["method"].toString());
        return methods;
    }

    // The values the current stand-in heard of; `delimiters` counts its AddDelimiter calls.
    std::vector<TValue> CalledValues(int* delimiters = nullptr) const
    {
        return test::CalledValues(Calls(), delimiters);
    }

    // The data manager heard of a new value after the call at index `from` of the current stand-in.
    bool AddValueAfter(std::size_t from) const
    {
        const std::vector<QString> methods = Methods(Calls());
        return std::find(methods.begin() + static_cast<std::ptrdiff_t>(std::min(from, methods.size())), methods.end(),
                         "AddValue") != methods.end();
    }

    // A data manager that comes (again) first hears the collector's state, then that the data changed, and
    // then of the values.
    void ExpectGreeting(const std::vector<QJsonObject>& calls)
    {
        std::string heard;
        for (std::size_t i = 0; i < calls.size() && i < 8; ++i)
            heard += QJsonDocument(calls[i]).toJson(QJsonDocument::Compact).toStdString() + "\n";
        SCOPED_TRACE("the data manager heard first:\n" + heard + "the service's log:\n" + log_.toStdString());
        ASSERT_GE(calls.size(), 3u);
        EXPECT_EQ(calls[0]["method"].toString().toStdString(), "SetCollectorState");
        EXPECT_EQ(calls[0]["source"].toInt(-1), 0);
        EXPECT_EQ(calls[0]["state"].toInt(), 2) << "collecting";
        EXPECT_EQ(calls[1]["method"].toString().toStdString(), "NotifyDataChanged");
        const std::vector<QString> methods = Methods(calls);
        EXPECT_NE(std::find(methods.begin() + 2, methods.end(), "AddValue"), methods.end());
    }

    fs::path PatientFile(const std::string& patient) const
    {
        return dir_ / "prefix" / "drive_c" / "KVD" / "DATA" / patient / "Halcyra.pil";
    }

    // The patients whose file exists.
    std::vector<std::string> Patients() const
    {
        std::vector<std::string> patients;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(dir_ / "prefix" / "drive_c" / "KVD" / "DATA", error))
            if (fs::exists(entry.path() / "Halcyra.pil")) patients.push_back(entry.path().filename().string());
        return patients;
    }

    // The time of the newest value point in a patient's file so far; 0 without one. The file may be
    // written meanwhile, so it is only dumped, not checked.
    std::int64_t NewestValue(const std::string& patient) const
    {
        QProcess dump;
        dump.start(HALCYRA_PIL_EXE, {"dump", Q(PatientFile(patient)), "--csv"});
        dump.waitForFinished(kWaitMs);
        std::int64_t newest = 0;
        for (const QByteArray& line : dump.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> cells = line.split(',');  // series,unit,time,value,kind
            if (cells.size() == 5 && cells[4] == "value")
                newest = std::max(newest, test::LocalSeconds(cells[2].toStdString()));
        }
        return newest;
    }

    // After the run: every file is sound and each of its series ends with a delimiter. Returns the value
    // points of all files, sorted; `delimiters` counts the delimiters.
    std::vector<TValue> ClosedFiles(int* delimiters)
    {
        std::vector<TValue> values;
        for (const std::string& patient : Patients()) {
            SCOPED_TRACE(patient);
            for (const auto& [label, points] : test::ReadFileSeries(PatientFile(patient))) {
                EXPECT_FALSE(points.empty());
                EXPECT_TRUE(!points.empty() && points.back().delimiter) << label << " is left open";
                for (const test::TFilePoint& p : points) {
                    if (p.delimiter)
                        ++*delimiters;
                    else
                        values.push_back({patient, label, p.second, p.value});
                }
            }
        }
        std::sort(values.begin(), values.end());
        return values;
    }

    inline static const QString kTestConnection = QStringLiteral("halcyra-dm-e2e-test");
    test::TTempDir dir_;
    QObject context_;
    QProcess bus_;
    QString busAddress_;
    QProcess standin_;
    int standins_ = 0;
    fs::path callsFile_;
    QProcess sim_;
    int simPort_ = 0;
    QProcess halcyra_;
    QString log_;
};

// The stand-in's --delay, which the other cases lean on: each answer, a refusal too, leaves the delay after
// its call, in the order the calls came, while the call is recorded at once; a hanging method still never
// answers.
TEST_F(DataManagerEndToEnd, TheStandinAnswersLateInTheOrderOfTheCalls)
{
    constexpr qint64 kDelayMs = 400;
    constexpr int kCallTimeoutMs = 1500;
    ASSERT_NO_FATAL_FAILURE(
        StartStandin({"--delay", QString::number(kDelayMs), "--fail", "AddDelimiter", "--hang", "NotifyDataChanged"}));
    QDBusConnection bus = QDBusConnection::connectToBus(busAddress_, kTestConnection);
    ASSERT_TRUE(bus.isConnected()) << bus.lastError().message().toStdString();

    const auto call = [](const QString& method, const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall("com.tovarin.Velgard", "/QuarzelAutoObject",
                                                              "com.tovarin.Velgard.QuarzelAutoObject", method);
        message.setArguments(arguments);
        return message;
    };
    const std::vector<QDBusMessage> calls = {
        call("AddValue", {QString("4711"), QString("HR"), QString("bpm"), 45000.5, 60.0}),
        call("AddDelimiter", {0, QString("HR"), QString("bpm"), 45000.6, 0}),
        call("NotifyDataChanged", {}),
        call("SetCollectorState", {0, 2}),
        call("AddValue", {QString("4711"), QString("HR"), QString("bpm"), 45000.7, 61.0}),
    };
    struct TAnswer {
        QString method;
        qint64 ms = 0;  // from the call
        QString error;
        std::size_t recordedThen = 0;
    };
    std::vector<TAnswer> answers;
    QElapsedTimer clock;
    clock.start();
    for (const QDBusMessage& message : calls) {
        const qint64 sent = clock.elapsed();
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message, kCallTimeoutMs), &context_);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [&, watcher, sent, message] {
            answers.push_back({message.member(), clock.elapsed() - sent,
                               watcher->isError() ? watcher->error().name() : QString(), Calls().size()});
        });
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return answers.size() == calls.size(); }, kWaitMs));

    std::vector<std::string> order;
    for (const TAnswer& answer : answers) order.push_back(answer.method.toStdString());
    EXPECT_EQ(order, (std::vector<std::string>{"AddValue", "AddDelimiter", "SetCollectorState", "AddValue",
                                               "NotifyDataChanged"}));
    for (std::size_t i = 0; i + 1 < answers.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_GE(answers[i].ms, kDelayMs) << "answered early";
        EXPECT_EQ(answers[i].recordedThen, calls.size()) << "every call is recorded before the first answer";
        EXPECT_EQ(answers[i].error.toStdString(),
                  answers[i].method == "AddDelimiter" ? "org.freedesktop.DBus.Error.Failed" : "");
    }
    // Only the caller's own time limit ends the hanging call.
    EXPECT_EQ(answers.back().error.toStdString(), "org.freedesktop.DBus.Error.NoReply");

    std::vector<std::string> results;
    for (const QJsonObject& recorded : Calls()) results.push_back(recorded["result"].toString().toStdString());
    EXPECT_EQ(results, (std::vector<std::string>{"ok", "failed", "hang", "ok", "ok"}));
    ASSERT_NO_FATAL_FAILURE(StopStandin(SIGTERM));
    EXPECT_EQ(standin_.exitCode(), 0);
}

// 64 beds, one message each a second, as the paced benchmark sends them, and a data manager that answers
// every call 20 ms late: collection keeps up, the status answers at once throughout, SIGTERM ends the run in
// time with every series closed, and the data manager heard of exactly the values in the files.
TEST_F(DataManagerEndToEnd, SixtyFourBedsWithASlowDataManagerKeepUp)
{
    constexpr int kBeds = 64;
    constexpr int kInterval = 4;
    constexpr qint64 kRunMs = 30000;
    constexpr qint64 kAskEveryMs = 2000;
    constexpr std::int64_t kLagSeconds = 15;
    Settings(kInterval);
    ASSERT_NO_FATAL_FAILURE(StartStandin({"--delay", "20"}));
    ASSERT_NO_FATAL_FAILURE(StartSim(kBeds));
    ASSERT_NO_FATAL_FAILURE(StartHalcyra());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Patients().size() == static_cast<std::size_t>(kBeds); }, kWaitMs))
        << Patients().size() << " files\n"
        << log_.toStdString();

    QElapsedTimer run;
    run.start();
    for (int asked = 1; run.elapsed() < kRunMs; ++asked) {
        const TStatus status = AskStatusHere();
        EXPECT_LT(status.ms, 1000) << "the status took " << status.ms << " ms at " << run.elapsed() << " ms";
        if (status.code == 0) {
            const QJsonObject link = QJsonDocument::fromJson(status.out).object()["dataManager"].toObject();
            EXPECT_TRUE(link["used"].toBool());
            EXPECT_TRUE(link["connected"].toBool()) << status.out.toStdString();
            EXPECT_EQ(link["callsFailed"].toInteger(-1), 0) << "a late answer within the limit is no failure";
        } else {
            ADD_FAILURE() << "no status at " << run.elapsed() << " ms";
        }
        // Paced so that the queries do not take the CPU the service needs.
        ASSERT_TRUE(QTest::qWaitFor([&] { return run.elapsed() >= asked * kAskEveryMs; }, kWaitMs));
    }
    for (const std::string& patient : Patients()) {
        const std::int64_t now = NowSeconds();
        const std::int64_t newest = NewestValue(patient);
        EXPECT_GE(newest, now - kLagSeconds) << patient << "'s newest point is " << now - newest << " s old";
    }
    ASSERT_NO_FATAL_FAILURE(StopHalcyra());
    ASSERT_NO_FATAL_FAILURE(StopStandin(SIGTERM));

    int fileDelimiters = 0;
    const std::vector<TValue> written = ClosedFiles(&fileDelimiters);
    int calledDelimiters = 0;
    std::vector<TValue> called = CalledValues(&calledDelimiters);
    std::sort(called.begin(), called.end());
    std::vector<TValue> notWritten;
    std::set_difference(called.begin(), called.end(), written.begin(), written.end(), std::back_inserter(notWritten));
    for (const TValue& v : notWritten) ADD_FAILURE() << "told but not in the file: " << v;
    EXPECT_EQ(called.size(), written.size()) << "the data manager did not hear of every value written";
    EXPECT_EQ(calledDelimiters, fileDelimiters);
}

// The data manager killed outright and started again: the status says the link is lost, then connected; the
// new data manager hears the collector's state, that the data changed, and then the values.
TEST_F(DataManagerEndToEnd, ADataManagerKilledAndStartedAgainIsLinkedAgain)
{
    Settings(2);
    ASSERT_NO_FATAL_FAILURE(StartStandin());
    ASSERT_NO_FATAL_FAILURE(StartSim(2));
    ASSERT_NO_FATAL_FAILURE(StartHalcyra());
    ASSERT_TRUE(QTest::qWaitFor([&] { return AddValueAfter(0); }, kWaitMs)) << log_.toStdString();
    // At start-up the first state is followed by the news that the data changed.
    const std::vector<QString> first = Methods(Calls());
    const auto state = std::find(first.begin(), first.end(), "SetCollectorState");
    ASSERT_NE(state, first.end());
    ASSERT_NE(state + 1, first.end());
    EXPECT_EQ((state + 1)->toStdString(), "NotifyDataChanged");
    ASSERT_NO_FATAL_FAILURE(WaitUntilConnected());

    const std::int64_t killed = NowSeconds();
    ASSERT_NO_FATAL_FAILURE(StopStandin(SIGKILL));
    WaitUntilLost(killed);

    ASSERT_NO_FATAL_FAILURE(StartStandin());
    ASSERT_NO_FATAL_FAILURE(WaitUntilConnected());
    ASSERT_TRUE(QTest::qWaitFor([&] { return AddValueAfter(2); }, kWaitMs)) << log_.toStdString();
    ExpectGreeting(Calls());
    EXPECT_EQ(halcyra_.state(), QProcess::Running);
    ASSERT_NO_FATAL_FAILURE(StopHalcyra());
}

// The bus itself killed while collecting: the files go on (the status socket is no part of the bus) and the
// status names the cause; a bus that comes back on the same address is found again with its new data
// manager; and SIGTERM ends the run in time with every series closed, also with the bus gone once more.
TEST_F(DataManagerEndToEnd, TheBusKilledWhileCollectingLeavesTheFilesGoingAndIsFoundAgain)
{
    constexpr int kInterval = 2;
    Settings(kInterval);
    ASSERT_NO_FATAL_FAILURE(StartStandin());
    ASSERT_NO_FATAL_FAILURE(StartSim(2));
    ASSERT_NO_FATAL_FAILURE(StartHalcyra());
    ASSERT_TRUE(QTest::qWaitFor([&] { return AddValueAfter(0); }, kWaitMs)) << log_.toStdString();

    const std::int64_t killed = NowSeconds();
    ASSERT_NO_FATAL_FAILURE(KillBus());
    EXPECT_EQ(WaitUntilLost(killed), kBusCause);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const std::vector<std::string> patients = Patients();
            return patients.size() == 2 && std::all_of(patients.begin(), patients.end(), [&](const std::string& p) {
                       return NewestValue(p) > killed + 3 * kInterval;
                   });
        },
        kWaitMs))
        << "no values written after the bus went\n"
        << log_.toStdString();
    ASSERT_EQ(halcyra_.state(), QProcess::Running) << log_.toStdString();
    EXPECT_EQ(log_.count(QString::fromStdString(kBusCause)), 1) << "the loss is logged once, not at every try\n"
                                                                << log_.toStdString();

    // The stand-in went with its bus: it is ended, the bus started again on the same address, and a new
    // stand-in started on it.
    ASSERT_NO_FATAL_FAILURE(StopStandin(SIGTERM));
    ASSERT_NO_FATAL_FAILURE(StartBus());
    ASSERT_NO_FATAL_FAILURE(StartStandin());
    ASSERT_NO_FATAL_FAILURE(WaitUntilConnected());
    ASSERT_TRUE(QTest::qWaitFor([&] { return AddValueAfter(2); }, kWaitMs)) << log_.toStdString();
    ExpectGreeting(Calls());

    const std::int64_t killedAgain = NowSeconds();
    ASSERT_NO_FATAL_FAILURE(KillBus());
    EXPECT_EQ(WaitUntilLost(killedAgain), kBusCause);
    ASSERT_NO_FATAL_FAILURE(StopHalcyra());
    int delimiters = 0;
    EXPECT_FALSE(ClosedFiles(&delimiters).empty());
}

// The service killed outright a few times while collecting, each time the moment the data manager hears of
// its n-th value (the kill lands at another point of a tick's calls each time), and started again: every value
// the data manager heard of is in its patient's file.
TEST_F(DataManagerEndToEnd, EveryValueTheDataManagerHeardOfSurvivesAKill)
{
    const std::vector<int> killAtValue = {1, 3, 6};
    Settings(2);
    ASSERT_NO_FATAL_FAILURE(StartStandin());
    ASSERT_NO_FATAL_FAILURE(StartSim(2));
    for (const int n : killAtValue) {
        SCOPED_TRACE("killed at the value " + std::to_string(n));
        ASSERT_NO_FATAL_FAILURE(KillHalcyraAtValue(n));
    }
    const std::size_t before = Calls().size();
    ASSERT_NO_FATAL_FAILURE(StartHalcyra());
    ASSERT_TRUE(QTest::qWaitFor([&] { return AddValueAfter(before); }, kWaitMs)) << log_.toStdString();
    ASSERT_NO_FATAL_FAILURE(StopHalcyra());
    ASSERT_NO_FATAL_FAILURE(StopStandin(SIGTERM));

    std::vector<TValue> called = CalledValues();
    ASSERT_FALSE(called.empty());
    std::map<std::string, std::map<std::string, std::vector<test::TFilePoint>>> files;
    for (const TValue& v : called) {
        if (!files.count(v.patient)) files[v.patient] = test::ReadFileSeries(PatientFile(v.patient));
        const std::vector<test::TFilePoint>& points = files[v.patient][v.label];
        const bool inFile = std::any_of(points.begin(), points.end(), [&](const test::TFilePoint& p) {
            return !p.delimiter && p.second == v.second && p.value == v.value;
        });
        EXPECT_TRUE(inFile) << "told but not in the file: " << v;
    }
}

}  // namespace
}  // namespace halcyra
