// The central-station simulator as a program: its recordings decode with the project's grammar, its
// faults leave the messages themselves alone, and its stream reaches the program's socket and reader over
// loopback, also across dropped connections.
#include "app/TcpClientSocket.h"
#include "hl7/CentralStationReader.h"
#include "hl7/MessageFramer.h"
#include "platform/DateTime.h"
#include "support/TempDir.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace halcyra {
namespace {

constexpr int kWaitMs = 30000;

struct TRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

TRun RunProgram(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    TRun run;
    if (!process.waitForFinished(kWaitMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QByteArray ReadAll(const std::filesystem::path& path)
{
    QFile file(QString::fromStdString(path.string()));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::vector<QJsonObject> Decode(const std::filesystem::path& capture)
{
    const TRun run = RunProgram(HALCYRA_HL7, {"decode", QString::fromStdString(capture.string()), "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    std::vector<QJsonObject> messages;
    for (const QByteArray& line : run.out.split('\n'))
        if (!line.isEmpty()) messages.push_back(QJsonDocument::fromJson(line).object());
    return messages;
}

// The messages of a capture as one reader would cut them from one connection.
std::vector<TSegmentList> Frame(const QByteArray& bytes)
{
    TMessageFramer framer;
    framer.Append(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    std::vector<TSegmentList> messages;
    TSegmentList segments;
    while (framer.CutNext(segments) == TMessageFramer::TCut::Message) messages.push_back(std::exchange(segments, {}));
    return messages;
}

class CsSim : public ::testing::Test {
protected:
    test::TTempDir dir;
    std::filesystem::path capture = dir / "capture.hl7";

    QStringList Offline(const QStringList& more)
    {
        QStringList args = {"--no-listen", "--record", QString::fromStdString(capture.string()), "--start",
                            "20240131230000"};
        return args + more;
    }
};

TEST_F(CsSim, RecordingDecodesWithTheProjectsGrammar)
{
    const TRun run = RunProgram(
        CS_SIM, Offline({"--beds", "3", "--rate", "1", "--duration", "600", "--seed", "7", "--aperiodic-every", "60"}));
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const std::vector<QJsonObject> messages = Decode(capture);
    ASSERT_EQ(messages.size(), 1800u);

    const TDateTime start = EncodeDateTime(2024, 1, 31, 23, 0, 0);
    std::vector<QString> ids(3);
    std::map<QString, std::vector<double>> heartRates;
    std::map<QString, std::vector<TDateTime>> cuffTimes;
    std::set<QString> units;
    std::set<int> codes;
    for (std::size_t k = 0; k < messages.size(); ++k) {
        const QJsonObject& m = messages[k];
        SCOPED_TRACE("message " + std::to_string(k));
        ASSERT_EQ(m["version"].toString(), "2.3");
        ASSERT_TRUE(m["supported"].toBool());
        // Beds take turns; each keeps its patient.
        const QString id = m["patientId"].toString();
        QString& bedId = ids[k % 3];
        if (bedId.isEmpty()) bedId = id;
        ASSERT_EQ(id, bedId);
        ASSERT_FALSE(m["lastName"].toString().isEmpty());
        // One message every third of a second, stamped to the second.
        const TDateTime due = start + std::floor(static_cast<double>(k) / 3 + 1e-9) * kOneSecond;
        ASSERT_EQ(m["observationTime"].toString().toStdString(), FormatIsoSeconds(due));
        TDateTime obrTime = 0;
        ASSERT_TRUE(ParseIsoDateTime(m["observationTime"].toString().toStdString(), obrTime));

        for (const QJsonValue& value : m["observations"].toArray()) {
            const QJsonObject o = value.toObject();
            ASSERT_EQ(o["type"].toString(), "NM");
            ASSERT_GT(o["code"].toInt(), 0);
            codes.insert(o["code"].toInt());
            units.insert(o["unit"].toString());
            const QString label = o["label"].toString();
            const double v = o["value"].toDouble();
            ASSERT_EQ(QString::number(v, 'f', label == "T1" ? 1 : 0), o["valueText"].toString());
            if (label == "HR") heartRates[id].push_back(v);
            if (label == "SpO2") {
                ASSERT_TRUE(v >= 70 && v <= 100) << v;
            }
            if (label == "T1") {
                ASSERT_TRUE(v >= 33 && v <= 42) << v;
            }
            ASSERT_EQ(o["aperiodic"].toBool(), label.startsWith("NBP")) << label.toStdString();
            if (o["aperiodic"].toBool()) {
                TDateTime taken = 0;
                ASSERT_TRUE(ParseIsoDateTime(o["time"].toString().toStdString(), taken));
                // Taken since the bed's previous message, one second earlier.
                ASSERT_LE(taken, obrTime + kOneMillisecond);
                ASSERT_GT(taken, obrTime - 2 * kOneSecond);
                if (label == "NBP-S") cuffTimes[id].push_back(taken);
            } else {
                ASSERT_TRUE(o["time"].isNull());
            }
        }
    }
    EXPECT_EQ(std::set<QString>(ids.begin(), ids.end()).size(), 3u);
    EXPECT_TRUE(ids[0].endsWith("MR")) << ids[0].toStdString();  // PID-3 with the identifier type
    // Plain and hyphenated codes (0002-4182 is 0x24182), units plain and as a component, a single-byte one.
    EXPECT_TRUE(codes.count(147842) && codes.count(150456) && codes.count(150344));
    EXPECT_THAT(units,
                ::testing::IsSupersetOf({QString("/min"), QString("%"), QString::fromUtf8("°C"), QString("mmHg")}));
    for (const auto& [id, rates] : heartRates) {
        ASSERT_EQ(rates.size(), 600u);
        const auto [low, high] = std::minmax_element(rates.begin(), rates.end());
        EXPECT_LT(*low, *high) << "the heart rate drifts";
        for (std::size_t i = 1; i < rates.size(); ++i) EXPECT_LE(std::abs(rates[i] - rates[i - 1]), 10);
    }
    for (const auto& [id, times] : cuffTimes) {
        EXPECT_GE(times.size(), 9u);
        for (std::size_t i = 1; i < times.size(); ++i) EXPECT_NEAR((times[i] - times[i - 1]) / kOneSecond, 60, 1);
    }
}

TEST_F(CsSim, SeedRepeatsTheStreamAndFaultsLeaveTheMessagesAlone)
{
    const QStringList base = {"--beds", "4", "--rate", "2", "--count", "200", "--aperiodic-every", "20"};
    auto record = [&](QStringList more) {
        const TRun run = RunProgram(CS_SIM, Offline(base + more));
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return ReadAll(capture);
    };
    const QByteArray clean = record({"--seed", "5"});
    const std::vector<QJsonObject> decoded = Decode(capture);
    ASSERT_EQ(decoded.size(), 200u);
    EXPECT_EQ(record({"--seed", "5"}), clean);
    EXPECT_NE(record({"--seed", "6"}), clean);

    const QByteArray spoiled = record({"--seed", "5", "--garbage", "0.5", "--split", "0.5"});
    EXPECT_GT(spoiled.size(), clean.size());
    EXPECT_EQ(Decode(capture), decoded);

    // CR LF segment ends: the same segments once cut, by the reader and by the decoder.
    record({"--seed", "5", "--crlf"});
    EXPECT_EQ(Frame(ReadAll(capture)), Frame(clean));
    EXPECT_EQ(Decode(capture), decoded);

    // Every fourth message cut off: the others are whole.
    record({"--seed", "5", "--drop-every", "4"});
    const std::vector<QJsonObject> withDrops = Decode(capture);
    ASSERT_EQ(withDrops.size(), 150u);
    EXPECT_EQ(withDrops[0], decoded[0]);
    EXPECT_EQ(withDrops[3], decoded[4]);
}

TEST_F(CsSim, MessageTimesFollowRateSilencesAndTheClock)
{
    struct TCase {
        QStringList args;
        std::vector<int> seconds;  // of each message after the start
    };
    const TCase cases[] = {
        {{"--beds", "1", "--rate", "0.5", "--count", "4"}, {0, 2, 4, 6}},
        {{"--beds", "2", "--rate", "1", "--duration", "2"}, {0, 0, 1, 1}},
        {{"--beds", "1", "--rate", "1", "--count", "6", "--silence-every", "3", "--silence", "10"},
         {0, 1, 2, 13, 14, 15}},
    };
    const TDateTime start = EncodeDateTime(2024, 1, 31, 23, 0, 0);
    for (const TCase& c : cases) {
        const TRun run = RunProgram(CS_SIM, Offline(c.args));
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        std::vector<int> seconds;
        for (const QJsonObject& m : Decode(capture)) {
            TDateTime time = 0;
            ASSERT_TRUE(ParseIsoDateTime(m["observationTime"].toString().toStdString(), time));
            seconds.push_back(static_cast<int>(std::lround((time - start) / kOneSecond)));
        }
        EXPECT_EQ(seconds, c.seconds) << c.args.join(' ').toStdString();
    }

    // Without --start the messages are stamped with the wall clock.
    const TDateTime before = NowLocal();
    const TRun run =
        RunProgram(CS_SIM, {"--no-listen", "--record", QString::fromStdString(capture.string()), "--count", "1"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const std::vector<QJsonObject> messages = Decode(capture);
    ASSERT_EQ(messages.size(), 1u);
    TDateTime time = 0;
    ASSERT_TRUE(ParseIsoDateTime(messages[0]["observationTime"].toString().toStdString(), time));
    EXPECT_GE(time, before - kOneSecond);
    EXPECT_LE(time, NowLocal());
}

TEST_F(CsSim, RejectsWrongOptions)
{
    const std::vector<QStringList> wrong = {
        Offline({"--count", "5", "--start", "2024013123"}),  // a time needs all fourteen digits
        Offline({"--count", "5", "--start", "20241331230000"}),
        Offline({}),                      // neither count nor duration
        {"--no-listen", "--count", "5"},  // nowhere to write
        Offline({"--count", "5", "--garbage", "1.5"}),
        Offline({"--count", "5", "--beds", "0"}),
        {"--listen", "not-an-address"},
    };
    for (const QStringList& args : wrong) {
        const TRun run = RunProgram(CS_SIM, args);
        EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(run.err.startsWith("cs-sim: ")) << run.err.toStdString();
    }
}

// The reader's surroundings, keeping what it hands over.
class TCollectingCycle final : public ICentralStationCycle, public ICentralStationView {
public:
    std::vector<TSegmentList> messages;
    int connects = 0;
    bool inProgress = false;

    bool InProgress() const override { return inProgress; }
    void SetInProgress(bool value) override { inProgress = value; }
    void DataReceived(TMonotonic) override {}
    void MessageComplete(TMonotonic) override {}
    void DecodeMessage(const TMessageIndex& segments) override { messages.push_back(segments.Copy()); }
    void SetCaption(const std::string&) override {}
    void SetConnectedLabel(const std::string&) override {}
    void ShowStopPos(const std::string&) override {}
    void ShowStartPos(const std::string&) override {}
    bool SaveDataStream() const override { return false; }
    void SocketError(const std::string&) override {}
    void LogLine(const std::string&, TLogPriority) override {}
};

class CsSimLoopback : public CsSim {
protected:
    TDriveMapping drives{dir / "prefix"};
    TFileSystem files{drives};
    TSystemClock clock;
    TCollectingCycle cycle;
    TTcpClientSocket socket;
    TCentralStationReader reader{socket, cycle, cycle, clock, files, "1", "C:\\TEMP\\"};
    QProcess sim;

    // Starts cs-sim on a free loopback port and connects the reader to it, reconnecting when dropped.
    void Start(const QStringList& more)
    {
        TClientSocketEvents events;
        events.connected = [this] {
            ++cycle.connects;
            reader.ClientSocketCentralStationConnect();
        };
        events.disconnected = [this] {
            reader.ClientSocketCentralStationDisconnect();
            if (sim.state() == QProcess::Running)
                QTimer::singleShot(0, [this] { socket.Open("127.0.0.1", true, port); });
        };
        events.read = [this] { reader.ClientSocketCentralStationRead(); };
        socket.SetEvents(events);

        sim.start(
            CS_SIM,
            QStringList{"--port", "0", "--wait-client", "--record", QString::fromStdString(capture.string())} + more);
        ASSERT_TRUE(QTest::qWaitFor([&] { return sim.canReadLine() || sim.state() == QProcess::NotRunning; }, kWaitMs));
        port = static_cast<int>(sim.readLine().trimmed().toInt());
        ASSERT_GT(port, 0) << sim.readAllStandardError().toStdString();
        socket.Open("127.0.0.1", true, port);
    }
    void WaitForEnd()
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return sim.state() == QProcess::NotRunning && !socket.IsOpen(); }, kWaitMs))
            << sim.readAllStandardError().toStdString();
        EXPECT_EQ(sim.exitCode(), 0) << sim.readAllStandardError().toStdString();
    }
    void TearDown() override
    {
        if (sim.state() != QProcess::NotRunning) {
            sim.kill();
            sim.waitForFinished();
        }
    }

    int port = 0;
};

TEST_F(CsSimLoopback, SpoiledStreamArrivesWhole)
{
    Start({"--beds", "3", "--rate", "40", "--count", "60", "--seed", "3", "--garbage", "0.3", "--split", "0.5",
           "--split-delay", "5", "--crlf", "--aperiodic-every", "1"});
    WaitForEnd();
    const std::vector<TSegmentList> sent = Frame(ReadAll(capture));
    ASSERT_EQ(sent.size(), 60u);
    EXPECT_EQ(cycle.messages, sent);
    for (const TSegmentList& message : cycle.messages) {
        ASSERT_GE(message.size(), 5u);
        EXPECT_EQ(message[0].substr(0, 4), "MSH|");
        EXPECT_EQ(message[1].substr(0, 4), "PID|");
    }
}

TEST_F(CsSimLoopback, DroppedConnectionLosesOnlyTheMessageCutOff)
{
    Start({"--beds", "2", "--rate", "40", "--count", "30", "--seed", "4", "--drop-every", "5"});
    WaitForEnd();
    // The capture holds the cut-off beginnings too; the complete frames are what a client can get.
    std::vector<TSegmentList> complete;
    for (const TCapturedMessage& m : SplitCapturedStream(ReadAll(capture).toStdString()).messages)
        complete.push_back(m.segments);
    ASSERT_EQ(complete.size(), 24u);
    EXPECT_EQ(cycle.messages, complete);
    EXPECT_EQ(cycle.connects, 6);
}

}  // namespace
}  // namespace halcyra
