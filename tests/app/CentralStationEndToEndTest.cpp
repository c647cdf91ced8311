// The whole chain on loopback, as a site runs it: cs-sim streams to `halcyra --service`, which writes the
// patient files and tells the stand-in data manager; the files are read back with halcyra-pil and the
// stream that was sent with halcyra-hl7.
#include "CollectingSettings.h"
#include "StandinCalls.h"
#include "hl7/MessageHandler.h"
#include "platform/DateTime.h"
#include "platform/Registry.h"
#include "settings/SettingsStore.h"
#include "support/TempDir.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <iterator>
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

using test::CalledValues;
using test::LocalSeconds;
using test::TValue;

QString Q(const fs::path& path)
{
    return QString::fromStdString(path.string());
}

// A message of the test's own central station for one patient: its observation time is the time it is
// sent, and its values (HR, and RR 1000 above it) tell the messages apart.
QByteArray StationMessage(TDateTime time, int value)
{
    const std::string stamp = FormatCompactStamp(time);
    const std::string text = std::string("\x0B") + "MSH|^~\\&|CS|WARD|||" + stamp + "||ORU^R01|" +
                             std::to_string(value) + "|P|2.3\r" + "PID|1||4711||Paced^Pat\r" + "OBR|1|||MON|||" +
                             stamp + "\r" + "OBX|1|NM|0002-4182^HR^MDIL||" + std::to_string(value) + "|bpm\r" +
                             "OBX|2|NM|151562^RR^MDIL||" + std::to_string(value + 1000) + "|rpm\r" + "\x1C\r";
    return QByteArray::fromStdString(text);
}

class CentralStationEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QDBusConnection::sessionBus().isConnected()) GTEST_SKIP() << "no session bus";
        fs::create_directories(dir_ / "registry");
        fs::create_directories(dir_ / "prefix");
    }

    void TearDown() override
    {
        for (QProcess* process : {&halcyra_, &sim_, &standin_}) {
            if (process->state() == QProcess::NotRunning) continue;
            ::kill(static_cast<pid_t>(process->processId()), SIGTERM);
            if (!process->waitForFinished(10000)) {
                process->kill();
                process->waitForFinished();
            }
        }
    }

    void Settings(int intervalSeconds, bool everyMessage, int timerMs = 100)
    {
        test::WriteCollectingSettings(dir_ / "registry", static_cast<std::uint32_t>(intervalSeconds));
        TRegistry registry(dir_ / "registry" / "HKEY_CURRENT_USER.reg", dir_ / "registry" / "HKEY_LOCAL_MACHINE.reg");
        auto& hive = registry.CurrentUser();
        hive.WriteDword(kProgramKey, "TimerInterval", static_cast<std::uint32_t>(timerMs));
        if (everyMessage) hive.WriteDword(kProgramKey, "UseHalcyraSettings", 1);
    }

    void StartStandin()
    {
        standin_.setProgram(VELGARD_STANDIN_EXE);
        standin_.setArguments({"--output", Q(dir_ / "calls.jsonl")});
        standin_.start();
        ASSERT_TRUE(standin_.waitForStarted(10000));
        ASSERT_TRUE(QTest::qWaitFor(
            [] {
                return QDBusConnection::sessionBus().interface()->isServiceRegistered("com.tovarin.Velgard").value();
            },
            kWaitMs));
    }

    // The service, its central station on `port`.
    void StartHalcyra(int port, const QStringList& arguments = {})
    {
        halcyra_.setProgram(HALCYRA_EXE);
        halcyra_.setArguments(QStringList{"--service", "--cs-port", QString::number(port), "--registry",
                                          Q(dir_ / "registry"), "--prefix", Q(dir_ / "prefix")} +
                              arguments);
        halcyra_.start();
        ASSERT_TRUE(halcyra_.waitForStarted(10000));
    }

    // The stand-in data manager, cs-sim on a free port and the service connected to it.
    void StartAll(const QStringList& simOptions)
    {
        StartStandin();
        if (HasFatalFailure()) return;
        sim_.setProgram(CS_SIM);
        sim_.setArguments(
            QStringList{"--port", "0", "--wait-client", "--aperiodic-every", "0", "--record", Q(dir_ / "capture.hl7")} +
            simOptions);
        sim_.start();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return sim_.canReadLine() || sim_.state() == QProcess::NotRunning; }, kWaitMs));
        const int port = sim_.readLine().trimmed().toInt();
        ASSERT_GT(port, 0) << sim_.readAllStandardError().toStdString();
        StartHalcyra(port);
    }

    // The values the data manager was told of; also counts the delimiters.
    std::vector<TValue> CalledValues(int* delimiters = nullptr)
    {
        return test::CalledValues(test::ReadStandinCalls(dir_ / "calls.jsonl"), delimiters);
    }

    // Lets the run go on until every patient has values at `times` distinct times, then ends the service
    // with SIGTERM, as systemd does, and cs-sim after it.
    void RunUntilDistinctTimes(std::size_t patients, std::size_t times)
    {
        const bool enough = QTest::qWaitFor(
            [&] {
                std::map<std::string, std::set<std::int64_t>> seen;
                for (const TValue& v : CalledValues()) seen[v.patient].insert(v.second);
                if (seen.size() < patients) return false;
                for (const auto& [patient, seconds] : seen)
                    if (seconds.size() < times) return false;
                return true;
            },
            kWaitMs);
        ASSERT_TRUE(enough) << halcyra_.readAllStandardError().toStdString();
        ::kill(static_cast<pid_t>(halcyra_.processId()), SIGTERM);
        ASSERT_TRUE(halcyra_.waitForFinished(20000));
        EXPECT_EQ(halcyra_.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(halcyra_.exitCode(), 0) << halcyra_.readAllStandardError().toStdString();
        ::kill(static_cast<pid_t>(sim_.processId()), SIGTERM);
        ASSERT_TRUE(sim_.waitForFinished(20000));
    }

    // The complete messages cs-sim sent, as halcyra-hl7 decodes its recording: every value, sorted.
    std::vector<TValue> SentValues()
    {
        QProcess decode;
        decode.start(HALCYRA_HL7, {"decode", Q(dir_ / "capture.hl7"), "--json"});
        EXPECT_TRUE(decode.waitForFinished(kWaitMs));
        std::vector<TValue> values;
        for (const QByteArray& line : decode.readAllStandardOutput().split('\n')) {
            if (line.isEmpty()) continue;
            const QJsonObject m = QJsonDocument::fromJson(line).object();
            const std::int64_t second = LocalSeconds(m["observationTime"].toString().toStdString());
            for (const QJsonValue& o : m["observations"].toArray())
                values.push_back({m["patientId"].toString().toStdString(), o["label"].toString().toStdString(), second,
                                  o["value"].toDouble()});
        }
        std::sort(values.begin(), values.end());
        return values;
    }

    struct TFilePoints {
        std::vector<TValue> values;
        std::map<std::string, std::vector<std::int64_t>> delimiters;  // by series
        std::string lastKind;                                         // of the series dumped last
    };

    // The value points in a patient's monitor-data file so far (none while it is missing).
    int ValuesInFile(const std::string& patient)
    {
        QProcess dump;
        dump.start(HALCYRA_PIL_EXE,
                   {"dump", Q(dir_ / "prefix" / "drive_c" / "KVD" / "DATA" / patient / "Halcyra.pil"), "--csv"});
        dump.waitForFinished(kWaitMs);
        int values = 0;
        for (const QByteArray& line : dump.readAllStandardOutput().split('\n'))
            values += line.endsWith(",value") ? 1 : 0;  // series,unit,time,value,kind
        return values;
    }

    // The points of a patient's monitor-data file, which must also pass halcyra-pil's check.
    TFilePoints FilePoints(const std::string& patient)
    {
        const QString file = Q(dir_ / "prefix" / "drive_c" / "KVD" / "DATA" / patient / "Halcyra.pil");
        QProcess check;
        check.start(HALCYRA_PIL_EXE, {"check", file});
        EXPECT_TRUE(check.waitForFinished(kWaitMs));
        EXPECT_EQ(check.readAllStandardOutput().toStdString(), file.toStdString() + ": sound\n") << patient;
        QProcess dump;
        dump.start(HALCYRA_PIL_EXE, {"dump", file, "--csv"});
        EXPECT_TRUE(dump.waitForFinished(kWaitMs));
        TFilePoints points;
        const QList<QByteArray> lines = dump.readAllStandardOutput().split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QList<QByteArray> cells = lines[i].split(',');  // series,unit,time,value,kind
            if (cells.size() != 5) continue;
            const std::string series = cells[0].toStdString();
            const std::int64_t second = LocalSeconds(cells[2].toStdString());
            if (cells[4] == "delimiter")
                points.delimiters[series].push_back(second);
            else
                points.values.push_back({patient, series, second, cells[3].toDouble()});
        }
        return points;
    }

    test::TTempDir dir_;
    QProcess standin_;
    QProcess sim_;
    QProcess halcyra_;
};

// Three beds, one message a second each: every interval gets one point per parameter and patient, at the
// interval's grid time, with the values of a message that arrived right after the boundary; the data
// manager hears of every value, and the end of the run closes every series.
TEST_F(CentralStationEndToEnd, ThreePatientsGetOnePointPerIntervalAtTheGridTime)
{
    // A multiple of five, so the boundaries lie on the grid; long enough that a message a few seconds late
    // still aligns to the boundary it follows. Boundaries off the grid (an interval of 8) let jitter round two
    // intervals' messages to one grid time now and then.
    constexpr int kInterval = 10;
    Settings(kInterval, false);
    StartAll({"--beds", "3", "--rate", "1", "--seed", "11"});
    RunUntilDistinctTimes(3, 4);
    const std::vector<TValue> sent = SentValues();
    std::set<std::string> patients;
    for (const TValue& v : sent) patients.insert(v.patient);
    ASSERT_EQ(patients.size(), 3u);

    int calledDelimiters = 0;
    std::vector<TValue> called = CalledValues(&calledDelimiters);
    std::vector<TValue> written;
    int fileDelimiters = 0;
    for (const std::string& patient : patients) {
        SCOPED_TRACE(patient);
        const TFilePoints points = FilePoints(patient);
        written.insert(written.end(), points.values.begin(), points.values.end());
        std::set<std::string> series;
        for (const TValue& v : sent)
            if (v.patient == patient) series.insert(v.label);

        // By time: the parameters written and how often.
        std::map<std::int64_t, std::map<std::string, int>> byTime;
        for (const TValue& v : points.values) ++byTime[v.second][v.label];
        ASSERT_GE(byTime.size(), 4u);
        const std::int64_t first = byTime.begin()->first;
        const std::int64_t last = byTime.rbegin()->first;
        for (std::int64_t t = first; t <= last; t += kInterval) {
            SCOPED_TRACE("at second " + std::to_string(t % 86400));
            EXPECT_EQ(t % kInterval, 0) << "a time off the grid";
            ASSERT_TRUE(byTime.count(t)) << "an interval without values";
            ASSERT_EQ(byTime[t].size(), series.size());
            // The collection may start just before a boundary: its first message then falls on that boundary.
            for (const auto& [label, count] : byTime[t]) EXPECT_TRUE(count == 1 || (t == first && count <= 2)) << label;
        }
        EXPECT_EQ(byTime.size(), static_cast<std::size_t>((last - first) / kInterval + 1)) << "a time off the grid";

        // After the start, each interval's values are those of one message of the patient whose observation
        // time aligns to that grid time (the nearest one). Which message came first after the boundary
        // depends on arrival times the test cannot see.
        for (const auto& [t, labels] : byTime) {
            if (t == first) continue;
            bool found = false;
            for (std::int64_t stamp = t - kInterval / 2; stamp <= t + kInterval / 2 && !found; ++stamp) {
                found = true;
                for (const TValue& v : points.values)
                    if (v.second == t)
                        found = found &&
                                std::binary_search(sent.begin(), sent.end(), TValue{patient, v.label, stamp, v.value});
            }
            EXPECT_TRUE(found) << "values at second " << t % 86400 << " are not those of one message sent then";
        }

        // SIGTERM while collecting closes each of the patient's series once, after the last value; no series
        // is made only to hold a delimiter.
        for (const std::string& label : series) EXPECT_TRUE(points.delimiters.count(label)) << label;
        for (const auto& [label, times] : points.delimiters) {
            ASSERT_EQ(times.size(), 1u) << label;
            EXPECT_GT(times[0], last) << label;
            ++fileDelimiters;
        }
    }
    std::sort(called.begin(), called.end());
    std::sort(written.begin(), written.end());
    ASSERT_EQ(called.size(), written.size());
    for (std::size_t i = 0; i < called.size(); ++i) {
        EXPECT_TRUE(called[i] == written[i]) << i;
    }
    EXPECT_EQ(calledDelimiters, fileDelimiters);
}

// With every message written ("UseHalcyraSettings"), the files show each message the service decoded. A
// connection dropped in the middle of a message loses that message only: the first message after the
// reconnection arrives whole, although the cut-off bytes were still buffered.
TEST_F(CentralStationEndToEnd, DroppedConnectionLosesOnlyTheMessageCutOff)
{
    Settings(10, true);
    StartAll({"--beds", "3", "--rate", "1", "--seed", "12", "--drop-every", "5"});
    RunUntilDistinctTimes(3, 8);
    const std::vector<TValue> sent = SentValues();
    std::set<std::string> patients;
    for (const TValue& v : sent) patients.insert(v.patient);
    ASSERT_EQ(patients.size(), 3u);
    const int drops = QString::fromUtf8(sim_.readAllStandardError()).count("in the middle of a message");
    EXPECT_GE(drops, 3) << "the run saw too few drops";

    for (const std::string& patient : patients) {
        SCOPED_TRACE(patient);
        std::vector<TValue> written = FilePoints(patient).values;
        ASSERT_FALSE(written.empty());
        std::sort(written.begin(), written.end());
        const auto [first, last] = std::minmax_element(
            written.begin(), written.end(), [](const TValue& a, const TValue& b) { return a.second < b.second; });
        // Every whole message sent while the service collected is in the file, with its values, and nothing
        // else is.
        std::vector<TValue> expected;
        for (const TValue& v : sent)
            if (v.patient == patient && v.second >= first->second && v.second <= last->second) expected.push_back(v);
        std::vector<TValue> missing, unsent;
        std::set_difference(expected.begin(), expected.end(), written.begin(), written.end(),
                            std::back_inserter(missing));
        std::set_difference(written.begin(), written.end(), expected.begin(), expected.end(),
                            std::back_inserter(unsent));
        for (const TValue& v : missing) ADD_FAILURE() << "missing: " << v.label << " at " << v.second % 86400;
        for (const TValue& v : unsent) ADD_FAILURE() << "not sent: " << v.label << " at " << v.second % 86400;
    }
}

// The test is the central station and sends one message a second through the program's own timer. Once
// collection has started, the messages go out half a second after each whole second of the start, that is
// half a second after every interval boundary: each interval must then hold the values of the message sent
// right after its boundary, not of one a second later. At the end the station closes the connection in
// order, which the service takes as a disconnection, not as a socket error.
TEST_F(CentralStationEndToEnd, EachIntervalHoldsTheValuesOfTheFirstMessageAfterItsBoundary)
{
    constexpr int kInterval = 5;
    constexpr int kCheckedIntervals = 4;
    Settings(kInterval, false, 1000);
    QTcpServer station;
    ASSERT_TRUE(station.listen(QHostAddress::LocalHost, 0));
    StartStandin();
    ASSERT_FALSE(HasFatalFailure());

    // Start reads its time (the base of every boundary) right after it logs the status; the line arrives
    // here a little later.
    QString log;
    TDateTime started = 0;
    QObject context;
    QObject::connect(&halcyra_, &QProcess::readyReadStandardError, &context, [&] {
        log += QString::fromUtf8(halcyra_.readAllStandardError());
        if (started == 0 && log.contains("Connected and collecting")) started = NowLocal();
    });
    StartHalcyra(station.serverPort());
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(QTest::qWaitFor([&] { return station.hasPendingConnections(); }, kWaitMs));
    std::unique_ptr<QTcpSocket> link(station.nextPendingConnection());

    struct TSent {
        int value;
        TDateTime at;
    };
    std::vector<TSent> sent;
    TDateTime firstInPhase = 0;
    TDateTime due = NowLocal();
    bool dueInPhase = false;
    const auto checkedTimes = [&] {
        std::set<std::int64_t> times;
        for (const TValue& v : CalledValues())
            // The same test as the check below: a grid time a second or more after the first paced message.
            if (firstInPhase != 0 && static_cast<double>(v.second) * kOneSecond >= firstInPhase + kOneSecond)
                times.insert(v.second);
        return times.size();
    };
    while (checkedTimes() < kCheckedIntervals) {
        ASSERT_LT(sent.size(), 90u) << log.toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return NowLocal() >= due; }, kWaitMs));
        const TDateTime now = NowLocal();
        const int value = 100 + static_cast<int>(sent.size());
        link->write(StationMessage(now, value));
        sent.push_back({value, now});
        if (dueInPhase && firstInPhase == 0) firstInPhase = now;
        if (started == 0) {
            due = now + kOneSecond;
        } else {
            // Half a second after the next whole second of the start, at least a few tenths from now.
            const double seconds = std::ceil((now + 0.3 * kOneSecond - started) * 86400.0 - 0.5);
            due = started + (seconds + 0.5) * kOneSecond;
            dueInPhase = true;
        }
    }

    link->disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor([&] { return station.hasPendingConnections(); }, kWaitMs)) << "no reconnection";
    ::kill(static_cast<pid_t>(halcyra_.processId()), SIGTERM);
    ASSERT_TRUE(halcyra_.waitForFinished(20000));
    EXPECT_EQ(halcyra_.exitCode(), 0);
    log += QString::fromUtf8(halcyra_.readAllStandardError());
    EXPECT_FALSE(log.contains("Asynchronous socket error")) << log.toStdString();

    // Start's time lies between a tenth of a second before the line arrived and a little after it.
    const TDateTime earliestStart = started - 0.1 * kOneSecond;
    const TDateTime latestStart = started + 0.02 * kOneSecond;
    std::map<std::int64_t, std::map<std::string, std::vector<double>>> byTime;
    for (const TValue& v : FilePoints("4711").values) byTime[v.second][v.label].push_back(v.value);
    std::vector<std::int64_t> checked;
    for (auto& [second, series] : byTime) {
        SCOPED_TRACE("at second " + std::to_string(second % 86400));
        // One point per series, both from one message.
        ASSERT_EQ(series["HR"].size(), 1u);
        ASSERT_EQ(series["RR"].size(), 1u);
        EXPECT_EQ(series["RR"][0], series["HR"][0] + 1000);
        EXPECT_EQ(second % kInterval, 0) << "a time off the grid";
        const TDateTime grid = static_cast<double>(second) * kOneSecond;
        if (grid < firstInPhase + kOneSecond) continue;
        checked.push_back(second);
        // The interval's boundary lies on Start's fraction of a second, within the second after the grid time.
        std::set<int> first;
        for (const TDateTime start : {earliestStart, latestStart}) {
            const TDateTime boundary = start + std::ceil((grid - start) * 86400.0) * kOneSecond;
            const auto after = std::find_if(sent.begin(), sent.end(), [&](const TSent& m) { return m.at >= boundary; });
            if (after != sent.end()) first.insert(after->value);
        }
        EXPECT_EQ(first.count(static_cast<int>(series["HR"][0])), 1u)
            << "the value " << series["HR"][0] << " is not that of the first message after the boundary";
    }
    ASSERT_GE(checked.size(), static_cast<std::size_t>(kCheckedIntervals));
    for (std::size_t i = 1; i < checked.size(); ++i) EXPECT_EQ(checked[i] - checked[i - 1], kInterval);
}

// One message of 20,000 numeric observations, each of a new parameter: the service takes the message's first
// observations up to its cap, declares their series in the patient's file, handles the next message and
// ends on SIGTERM as usual; the file is sound and holds no more series than a file takes.
TEST_F(CentralStationEndToEnd, AMessageOfTwentyThousandObservationsIsCutAndTheRunGoesOn)
{
    constexpr int kObservations = 20000;
    Settings(10, false);
    QTcpServer station;
    ASSERT_TRUE(station.listen(QHostAddress::LocalHost, 0));
    StartHalcyra(station.serverPort(), {"NOVELGARD"});
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(QTest::qWaitFor([&] { return station.hasPendingConnections(); }, kWaitMs));
    std::unique_ptr<QTcpSocket> link(station.nextPendingConnection());
    QString log;
    QObject context;
    QObject::connect(&halcyra_, &QProcess::readyReadStandardError, &context,
                     [&] { log += QString::fromUtf8(halcyra_.readAllStandardError()); });
    const auto message = [](const std::string& patient, const std::vector<std::string>& observations) {
        const std::string stamp = FormatCompactStamp(NowLocal());
        std::string text = "\x0BMSH|^~\\&|CS|WARD|||" + stamp + "||ORU^R01|1|P|2.3\rPID|1||" + patient +
                           "||Big^Pat\rOBR|1|||MON|||" + stamp + "\r";
        for (const std::string& obx : observations) text += obx + "\r";
        return QByteArray::fromStdString(text + "\x1C\r");
    };
    // Collection starts once a message with observations has come.
    for (int attempt = 0; !log.contains("Connected and collecting"); ++attempt) {
        ASSERT_LT(attempt, 120) << log.toStdString();
        link->write(message("4710", {"OBX|1|NM|0002-4182^HR^MDIL||60|bpm"}));
        if (QTest::qWaitFor([&] { return log.contains("Connected and collecting"); }, 500)) break;
    }

    std::vector<std::string> many;
    for (int i = 0; i < kObservations; ++i)
        many.push_back("OBX|" + std::to_string(i + 1) + "|NM|" + std::to_string(300000 + i) + "^P" + std::to_string(i) +
                       "^MDIL||" + std::to_string(i % 200) + "|u" + std::to_string(i % 7));
    link->write(message("4711", many));
    link->write(message("4712", {"OBX|1|NM|0002-4182^HR^MDIL||61|bpm"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ValuesInFile("4712") == 1; }, kWaitMs)) << log.toStdString();

    ::kill(static_cast<pid_t>(halcyra_.processId()), SIGTERM);
    ASSERT_TRUE(halcyra_.waitForFinished(20000));
    EXPECT_EQ(halcyra_.exitCode(), 0);
    log += QString::fromUtf8(halcyra_.readAllStandardError());
    const std::string cut = "A message brought more than " + std::to_string(kMaxObservationsPerMessage) +
                            " numeric observations: the " + std::to_string(kObservations - kMaxObservationsPerMessage) +
                            " behind them were left out (patient 4711)";
    EXPECT_TRUE(log.contains(QString::fromStdString(cut))) << log.toStdString();

    const TFilePoints points = FilePoints("4711");  // also checks that the file is sound
    EXPECT_EQ(points.values.size(), static_cast<std::size_t>(kMaxObservationsPerMessage));
    EXPECT_LE(points.delimiters.size(), kMaxSeriesPerFile);
    EXPECT_EQ(points.delimiters.size(), points.values.size());  // each series closed at the end of the run
}

// `halcyra --status` asks the running service and changes nothing: each patient's count and last time are
// those of its file between two looks at the file, and with nothing running it is one line and exit code 1.
TEST_F(CentralStationEndToEnd, TheStatusDescribesTheRunningServicesPatients)
{
    Settings(4, false);
    StartAll({"--beds", "2", "--rate", "1", "--seed", "13"});
    ASSERT_FALSE(HasFatalFailure());
    const auto askStatus = [&](const QStringList& extra) {
        QProcess status;
        status.start(HALCYRA_EXE, QStringList{"--status", "--registry", Q(dir_ / "registry")} + extra);
        EXPECT_TRUE(status.waitForFinished(kWaitMs));
        return std::make_tuple(status.exitCode(), status.readAllStandardOutput(), status.readAllStandardError());
    };
    // Each patient's value points in its file, and the latest time among them.
    const auto filePoints = [&] {
        std::map<std::string, std::pair<int, std::int64_t>> points;
        for (const TValue& v : CalledValues()) points[v.patient];
        for (auto& [patient, counted] : points) {
            const TFilePoints file = FilePoints(patient);
            counted.first = static_cast<int>(file.values.size());
            for (const TValue& v : file.values) counted.second = std::max(counted.second, v.second);
        }
        return points;
    };
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto points = filePoints();
            return points.size() == 2 && points.begin()->second.first >= 4 && points.rbegin()->second.first >= 4;
        },
        kWaitMs));

    const auto before = filePoints();
    const auto [jsonCode, jsonOut, jsonErr] = askStatus({"--json"});
    const auto after = filePoints();
    ASSERT_EQ(jsonCode, 0) << jsonErr.toStdString();
    const QJsonObject status = QJsonDocument::fromJson(jsonOut).object();
    EXPECT_EQ(status["mode"].toString(), "service");
    EXPECT_EQ(status["pid"].toInteger(), halcyra_.processId());
    EXPECT_EQ(status["dataSource"]["kind"].toString(), "central station");
    EXPECT_TRUE(status["dataSource"]["connected"].toBool());
    EXPECT_EQ(status["status"]["name"].toString(), "collecting");
    EXPECT_EQ(status["intervalSeconds"].toInt(), 4);
    EXPECT_GT(status["messagesReceived"].toInteger(), 0);
    EXPECT_EQ(status["patientsExpired"].toInteger(-1), 0);
    EXPECT_TRUE(status["health"]["ok"].toBool()) << QJsonDocument(status["health"].toObject()).toJson().toStdString();
    // Local times that say where they lie: "yyyy-mm-ddThh:nn:ss+hh:mm".
    for (const char* time : {"time", "lastMessage"})
        EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$")
                        .match(status[time].toString())
                        .hasMatch())
            << time << " " << status[time].toString().toStdString();
    EXPECT_EQ(status["writesFailed"].toInteger(-1), 0);
    const QJsonObject dataManager = status["dataManager"].toObject();
    EXPECT_TRUE(dataManager["used"].toBool() && dataManager["connected"].toBool());
    EXPECT_TRUE(dataManager["lastError"].isNull());
    EXPECT_EQ(dataManager["callsFailed"].toInteger(-1), 0);
    EXPECT_FALSE(dataManager["since"].isNull());
    const QJsonArray patients = status["patients"].toArray();
    ASSERT_EQ(patients.size(), 2);
    for (const QJsonValue& value : patients) {
        const QJsonObject p = value.toObject();
        const std::string id = p["id"].toString().toStdString();
        SCOPED_TRACE(id);
        ASSERT_TRUE(before.count(id) && after.count(id));
        EXPECT_TRUE(p["ticked"].toBool() && p["collecting"].toBool());
        const qint64 points = p["pointsWritten"].toInteger();
        EXPECT_GE(points, before.at(id).first);
        EXPECT_LE(points, after.at(id).first);
        if (before.at(id) == after.at(id)) {
            EXPECT_EQ(LocalSeconds(p["lastWritten"].toString().toStdString()), after.at(id).second);
        }
        EXPECT_EQ(p["file"].toString().toStdString(), "C:\\KVD\\DATA\\" + id + "\\Halcyra.pil");
        EXPECT_TRUE(p["problem"].isNull());
    }

    const auto [textCode, textOut, textErr] = askStatus({});
    ASSERT_EQ(textCode, 0) << textErr.toStdString();
    const QStringList lines = QString::fromUtf8(textOut).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 7 + 2) << textOut.toStdString();
    EXPECT_TRUE(lines[0].startsWith("Halcyra service, PID " + QString::number(halcyra_.processId()) + ", at "))
        << lines[0].toStdString();
    EXPECT_EQ(lines[1], "Health: ok");
    EXPECT_TRUE(lines[2].startsWith("Data source: central station 127.0.0.1:")) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].endsWith(", connected")) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].startsWith("Status: collecting; interval 4 s, next boundary ")) << lines[3].toStdString();
    EXPECT_TRUE(lines[4].contains(" received, the last at 20")) << lines[4].toStdString();
    EXPECT_EQ(lines[5], "Data manager: connected");
    EXPECT_EQ(lines[6], "Patients: 2; 0 expired this run");
    for (const QJsonValue& value : patients)
        EXPECT_TRUE(lines[7].startsWith("  " + value["id"].toString() + "  ") ||
                    lines[8].startsWith("  " + value["id"].toString() + "  "));

    ::kill(static_cast<pid_t>(halcyra_.processId()), SIGTERM);
    ASSERT_TRUE(halcyra_.waitForFinished(20000));
    const auto [goneCode, goneOut, goneErr] = askStatus({});
    EXPECT_EQ(goneCode, 1);
    EXPECT_TRUE(goneOut.isEmpty());
    EXPECT_EQ(goneErr.count('\n'), 1);
    EXPECT_TRUE(goneErr.startsWith("halcyra: no instance is running on the settings in ")) << goneErr.toStdString();
}

}  // namespace
}  // namespace halcyra
