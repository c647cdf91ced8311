// A station as hospitals see them, on loopback: large messages arriving in two pieces, an outage in which the
// station is gone, and a silence in which it stays connected but sends nothing. `halcyra --service` collects
// through all of it on the real timer; afterwards every patient file must hold each value once, close every
// series at every gap and at the end, and agree with what the data manager was told.
#include "CollectingSettings.h"
#include "FileSeries.h"
#include "TestStation.h"
#include "platform/Registry.h"
#include "settings/SettingsStore.h"
#include "support/TempDir.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

constexpr int kInterval = 5;         // seconds; the central-station timeout is then 8 s
constexpr int kOutageSeconds = 40;   // the station is gone: connections refused
constexpr int kSilenceSeconds = 35;  // the station stays connected and sends nothing
constexpr int kMessageBytes = 6 * 1024;
constexpr int kPieceGapMs = 40;

QString Q(const fs::path& path)
{
    return QString::fromStdString(path.string());
}

struct TBed {
    std::string id;
    std::string name;  // Last^First
};

// One ORU message of over 6 KB: heart rate (a running number, so that every message's value is its own),
// SpO2, and a long text observation such as a monitor's annotations, which the collection does not take.
QByteArray Message(const TBed& bed, int number, const QDateTime& at)
{
    const QByteArray stamp = at.toString("yyyyMMddHHmmss").toLatin1();
    QByteArray text = "\x0b";
    text += "MSH|^~\\&|CS|WARD|||" + stamp + "||ORU^R01|" + QByteArray::number(number) + "|P|2.3\r";
    text += "PID|1||" + QByteArray::fromStdString(bed.id) + "||" + QByteArray::fromStdString(bed.name) + "\r";
    text += "OBR|1|||MON|||" + stamp + "\r";
    text += "OBX|1|NM|0002-4182^HR^MDIL||" + QByteArray::number(number) + "|264864^/min^MDIL\r";
    text += "OBX|2|NM|150456^SpO2^MDIL||" + QByteArray::number(90 + number % 10) + "|262688^%^MDIL\r";
    text += "OBX|3|ST|TEXT^NOTE^MDIL||" + QByteArray(kMessageBytes, 'a') + "|\r";
    text += "\x1c\r";
    return text;
}

using test::TFilePoint;

class StationOutageEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(dir_ / "registry");
        fs::create_directories(dir_ / "prefix");
        // A bus of this test's own: the stand-in data manager's name is not shared with other tests.
        bus_.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        if (!bus_.waitForStarted(10000)) GTEST_SKIP() << "no dbus-daemon";
        ASSERT_TRUE(QTest::qWaitFor([&] { return bus_.canReadLine(); }, 10000));
        busAddress_ = QString::fromUtf8(bus_.readLine().trimmed());
        ASSERT_FALSE(busAddress_.isEmpty());
    }

    void TearDown() override
    {
        for (QProcess* process : {&halcyra_, &standin_, &bus_}) {
            if (process->state() == QProcess::NotRunning) continue;
            ::kill(static_cast<pid_t>(process->processId()), SIGTERM);
            if (!process->waitForFinished(10000)) {
                process->kill();
                process->waitForFinished();
            }
        }
    }

    QProcessEnvironment Environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", busAddress_);
        return env;
    }

    void Settings() { test::WriteCollectingSettings(dir_ / "registry", static_cast<std::uint32_t>(kInterval)); }

    void StartHalcyra(quint16 port)
    {
        standin_.setProcessEnvironment(Environment());
        standin_.start(VELGARD_STANDIN_EXE, {"--output", Q(dir_ / "calls.jsonl")});
        ASSERT_TRUE(standin_.waitForStarted(10000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return standin_.readAllStandardError().contains("serving"); }, 10000));

        halcyra_.setProcessEnvironment(Environment());
        halcyra_.start(HALCYRA_EXE, {"--service", "--cs-port", QString::number(port), "--registry",
                                     Q(dir_ / "registry"), "--prefix", Q(dir_ / "prefix")});
        ASSERT_TRUE(halcyra_.waitForStarted(10000));
    }

    // One message per bed per second for `seconds` seconds; the messages of one stretch have their numbers
    // in one range.
    void Stream(test::TTestStation& station, int seconds)
    {
        stretches_.push_back({number_ + 1, number_ + seconds * static_cast<int>(beds_.size())});
        for (int s = 0; s < seconds; ++s) {
            const QDateTime now = QDateTime::currentDateTime();
            for (const TBed& bed : beds_) {
                ++number_;
                sent_[bed.id].insert(number_);
                station.SendInTwoPieces(Message(bed, number_, now), kPieceGapMs);
            }
            QTest::qWait(1000 - kPieceGapMs * 2 * static_cast<int>(beds_.size()));
        }
    }

    // The points of one patient's file by series, in file order; the file must pass halcyra-pil's check.
    std::map<std::string, std::vector<TFilePoint>> FileSeries(const std::string& patient)
    {
        return test::ReadFileSeries(dir_ / "prefix" / "drive_c" / "KVD" / "DATA" / patient / "Halcyra.pil");
    }

    // What the data manager was told, per patient ("" for delimiters, which carry no patient): counts.
    std::map<std::string, int> Calls()
    {
        std::map<std::string, int> counts;
        QFile file(Q(dir_ / "calls.jsonl"));
        if (!file.open(QIODevice::ReadOnly)) return counts;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QJsonObject call = QJsonDocument::fromJson(line).object();
            if (call["method"] == "AddValue") ++counts[call["patientId"].toString().toStdString()];
            if (call["method"] == "AddDelimiter") ++counts[""];
        }
        return counts;
    }

    test::TTempDir dir_;
    QProcess bus_;
    QString busAddress_;
    QProcess standin_;
    QProcess halcyra_;
    std::vector<TBed> beds_{{"310001", "Morrow^Ada"}, {"310002", "Lindqvist^Ben"}};
    std::map<std::string, std::set<int>> sent_;
    std::vector<std::pair<int, int>> stretches_;
    int number_ = 0;
};

TEST_F(StationOutageEndToEnd, OutageAndSilenceCloseEverySeriesAndWriteEachValueOnce)
{
    Settings();
    test::TTestStation station;
    ASSERT_TRUE(station.Listen());
    StartHalcyra(station.Port());

    Stream(station, 4 * kInterval);
    station.GoAway();
    QTest::qWait(kOutageSeconds * 1000);
    ASSERT_TRUE(station.Listen(station.Port()));
    // The service reconnects within a few ticks; what it misses meanwhile is not on the record.
    Stream(station, 4 * kInterval);
    QTest::qWait(kSilenceSeconds * 1000);
    Stream(station, 4 * kInterval);

    ::kill(static_cast<pid_t>(halcyra_.processId()), SIGTERM);
    ASSERT_TRUE(halcyra_.waitForFinished(20000));
    EXPECT_EQ(halcyra_.exitCode(), 0);
    const std::string log = halcyra_.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(standin_.processId()), SIGTERM);
    ASSERT_TRUE(standin_.waitForFinished(10000));

    int fileValues = 0;
    int fileDelimiters = 0;
    std::map<std::string, int> calls = Calls();
    for (const TBed& bed : beds_) {
        SCOPED_TRACE(bed.id);
        const auto series = FileSeries(bed.id);
        ASSERT_EQ(series.size(), 2u) << "HR and SpO2, nothing else\n" << log;
        int patientValues = 0;
        for (const auto& [label, points] : series) {
            SCOPED_TRACE(label);
            ASSERT_FALSE(points.empty());
            EXPECT_TRUE(points.back().delimiter) << "the series is left open at the end";
            std::set<std::int64_t> times;
            int gaps = 0;
            const TFilePoint* lastValue = nullptr;
            bool delimiterSinceLastValue = false;
            for (const TFilePoint& p : points) {
                EXPECT_TRUE(times.insert(p.second).second) << "two points at second " << p.second % 86400;
                if (p.delimiter) {
                    delimiterSinceLastValue = true;
                    continue;
                }
                ++patientValues;
                EXPECT_EQ(p.second % kInterval, 0) << "a value off the grid";
                if (label == "HR") {
                    EXPECT_TRUE(sent_[bed.id].count(static_cast<int>(p.value)))
                        << "HR " << p.value << " was not sent for this patient";
                }
                if (lastValue != nullptr && p.second - lastValue->second > 3 * kInterval) {
                    ++gaps;
                    EXPECT_TRUE(delimiterSinceLastValue) << "no delimiter in the gap from second "
                                                         << lastValue->second % 86400 << " to " << p.second % 86400;
                }
                lastValue = &p;
                delimiterSinceLastValue = false;
            }
            EXPECT_EQ(gaps, 2) << "the outage and the silence each leave one gap";
            if (label != "HR") continue;
            // Values from every stretch the station sent: the large messages were taken whole.
            for (const auto& [first, last] : stretches_) {
                int taken = 0;
                for (const TFilePoint& p : points)
                    if (!p.delimiter && p.value >= first && p.value <= last) ++taken;
                EXPECT_GE(taken, 2) << "messages " << first << " to " << last;
            }
        }
        EXPECT_EQ(calls[bed.id], patientValues) << "the data manager heard of other values than the file holds";
        fileValues += patientValues;
        for (const auto& [label, points] : series)
            for (const TFilePoint& p : points) fileDelimiters += p.delimiter ? 1 : 0;
    }
    EXPECT_GT(fileValues, 0);
    EXPECT_EQ(calls[""], fileDelimiters) << "the data manager heard of other delimiters than the files hold";
}

}  // namespace
}  // namespace halcyra
