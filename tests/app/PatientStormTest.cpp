// A storm of new patient IDs against `halcyra --service` with AutoCreate on: the new patients of a tick cost
// one census write, so the patients already collected go on getting their values through the storm, and the
// service ends promptly when told to.
#include "CollectingSettings.h"
#include "TestStation.h"
#include "platform/Registry.h"
#include "settings/SettingsStore.h"
#include "support/TempDir.h"

#include <QDateTime>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <string>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

constexpr int kInterval = 5;
constexpr int kStormPatients = 400;
constexpr int kPatienceSeconds = 60;

QString Q(const fs::path& path)
{
    return QString::fromStdString(path.string());
}

// Grid times after `since` (seconds since the epoch) at which the patient's file holds a value.
std::set<qint64> ValueTimesAfter(const fs::path& file, qint64 since)
{
    QProcess dump;
    dump.start(HALCYRA_PIL_EXE, {"dump", Q(file), "--csv"});
    dump.waitForFinished(60000);
    std::set<qint64> times;
    for (const QByteArray& line : dump.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> cells = line.split(',');  // series,unit,time,value,kind
        if (cells.size() != 5 || cells[4] != "value") continue;
        const QDateTime at = QDateTime::fromString(QString::fromLatin1(cells[2].left(19)), Qt::ISODate);
        if (at.isValid() && at.toSecsSinceEpoch() > since) times.insert(at.toSecsSinceEpoch());
    }
    return times;
}

QByteArray HeartRate(const QByteArray& id, int value)
{
    const QByteArray stamp = QDateTime::currentDateTime().toString("yyyyMMddHHmmss").toLatin1();
    return "\x0bMSH|^~\\&|CS|WARD|||" + stamp + "||ORU^R01|1|P|2.3\rPID|1||" + id + "||Storm^" + id +
           "\rOBR|1|||MON|||" + stamp + "\rOBX|1|NM|0002-4182^HR^MDIL||" + QByteArray::number(value) +
           "|264864^/min^MDIL\r\x1c\r";
}

TEST(PatientStorm, NewIdsAreTakenInAndTheCollectedPatientKeepsItsValues)
{
    test::TTempDir dir;
    fs::create_directories(dir / "registry");
    fs::create_directories(dir / "prefix");
    {
        test::WriteCollectingSettings(dir / "registry", static_cast<std::uint32_t>(kInterval));
    }
    test::TTestStation station;
    ASSERT_TRUE(station.Listen());
    QProcess halcyra;
    halcyra.start(HALCYRA_EXE, {"--service", "--cs-port", QString::number(station.Port()), "--registry",
                                Q(dir / "registry"), "--prefix", Q(dir / "prefix"), "NOVELGARD"});
    ASSERT_TRUE(halcyra.waitForStarted(10000));

    // The collected patient, one message a second, until collection runs.
    int value = 60;
    QByteArray log;
    for (int s = 0; s < 30 && !log.contains("Connected and collecting"); ++s) {
        station.Send(HeartRate("700001", ++value));
        QTest::qWait(1000);
        log += halcyra.readAllStandardError();
    }
    ASSERT_TRUE(log.contains("Connected and collecting")) << log.toStdString();

    QByteArray storm;
    for (int i = 0; i < kStormPatients; ++i) storm += HeartRate(QByteArray::number(800000 + i), 70);
    station.Send(storm);
    const qint64 stormAt = QDateTime::currentSecsSinceEpoch();
    // The collected patient goes on sending; its values must go on too, once the burst is taken in. How long
    // that takes depends on the machine, so the test waits for the outcome rather than for a time.
    const fs::path data = dir / "prefix" / "drive_c" / "KVD" / "DATA";
    const fs::path collected = data / "700001" / "Halcyra.pil";
    std::size_t after = 0;
    for (int s = 1; s <= kPatienceSeconds && after < 3; ++s) {
        station.Send(HeartRate("700001", ++value));
        QTest::qWait(1000);
        if (s % kInterval == 0) after = ValueTimesAfter(collected, stormAt + kInterval).size();
    }
    EXPECT_GE(after, 3u) << "the collected patient got too few values after the storm";

    ::kill(static_cast<pid_t>(halcyra.processId()), SIGTERM);
    if (!halcyra.waitForFinished(20000)) {
        halcyra.kill();
        halcyra.waitForFinished();
        FAIL() << "the service did not end on SIGTERM";
    }
    EXPECT_EQ(halcyra.exitCode(), 0);

    int folders = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(data)) ++folders;
    EXPECT_EQ(folders, kStormPatients + 1);
}

}  // namespace
}  // namespace halcyra
