// `halcyra --service` under libfaketime: the test steps the service's wall clock back and forward through a file
// the library reads at every reading of the clock, while the monotonic clocks stay real. The station played by
// the test steps with it, as a station does at a change of summer time. The service must log each step once,
// show the patients waiting for the clock while their files hold later points, never take the step forward
// for a lost station, and leave files whose series never run back in time.
#include "CollectingSettings.h"
#include "FileSeries.h"
#include "TestStation.h"
#include "platform/Registry.h"
#include "settings/SettingsStore.h"
#include "support/TempDir.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTest>
#include <QTime>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace halcyra {
namespace {

namespace fs = std::filesystem;
using test::TFilePoint;

constexpr int kInterval = 5;  // seconds
constexpr int kBackSeconds = 30;
constexpr int kForwardSeconds = 60;
constexpr int kGridTimesPerStretch = 2;  // written for every patient before each step and after it
constexpr int kSeriesPerPatient = 2;     // HR and SpO2

struct TBed {
    QByteArray id;
    QByteArray name;  // Last^First
};

const std::vector<TBed> kBeds{{"520001", "Okafor^Ines"}, {"520002", "Brandt^Tomas"}, {"520003", "Sato^Lena"}};

QString Q(const fs::path& path)
{
    return QString::fromStdString(path.string());
}

std::int64_t LocalSeconds(const QDateTime& at)
{
    return test::LocalSeconds(at.toString("yyyy-MM-ddTHH:mm:ss").toStdString());
}

// As the log and the text status show a time.
QString ClockText(std::int64_t localSeconds)
{
    const std::int64_t s = localSeconds % 86400;
    return QString::asprintf("%02d:%02d:%02d", static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60),
                             static_cast<int>(s % 60));
}

// How far a logged "hh:mm:ss" lies after `localSeconds`, across midnight too.
std::int64_t ClockTextAfter(const QString& text, std::int64_t localSeconds)
{
    const QTime time = QTime::fromString(text, "hh:mm:ss");
    EXPECT_TRUE(time.isValid()) << text.toStdString();
    std::int64_t after = (time.msecsSinceStartOfDay() / 1000 - localSeconds % 86400) % 86400;
    if (after > 43200) after -= 86400;
    if (after < -43200) after += 86400;
    return after;
}

// The boundary a stamp of this second belongs to: the nearest one.
std::int64_t GridOf(std::int64_t second)
{
    return (second + kInterval / 2) / kInterval * kInterval;
}

// HR is the message's running number, so that every value in a file names the message it came from.
QByteArray Message(const TBed& bed, int number, const QDateTime& at)
{
    const QByteArray stamp = at.toString("yyyyMMddHHmmss").toLatin1();
    return "\x0bMSH|^~\\&|CS|WARD|||" + stamp + "||ORU^R01|" + QByteArray::number(number) + "|P|2.3\rPID|1||" + bed.id +
           "||" + bed.name + "\rOBR|1|||MON|||" + stamp + "\rOBX|1|NM|0002-4182^HR^MDIL||" +
           QByteArray::number(number) + "|264864^/min^MDIL\rOBX|2|NM|150456^SpO2^MDIL||" +
           QByteArray::number(90 + number % 10) + "|262688^%^MDIL\r\x1c\r";
}

QString FakeTimeLibrary()
{
    QProcess dpkg;
    dpkg.start("dpkg", {"-L", "libfaketime"});
    if (!dpkg.waitForFinished(30000)) return {};
    for (const QByteArray& line : dpkg.readAllStandardOutput().split('\n'))
        if (line.endsWith("/libfaketime.so.1")) return QString::fromLocal8Bit(line);
    return {};
}

// Polls about twice a second, the event loop running meanwhile (the station goes on sending), until the
// condition holds or `seconds` have passed.
bool PollFor(const std::function<bool()>& condition, int seconds)
{
    const QDeadlineTimer deadline(seconds * 1000);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QTest::qWait(500);
    }
    return true;
}

// Where in its interval the clock is set back.
enum class TStepAt {
    // Every bed had its values of the interval taken: the service's next tick sees the step before any value
    // is due again.
    MidInterval,
    // The beds fall silent before a boundary; once the service has crossed it, the clock steps and the first
    // messages of the new interval follow at once, before the service's next tick can see the step.
    BeforeFirstMessage,
};

struct TCase {
    const char* name;
    TStepAt backAt;
    bool forward;  // the clock is then set forward
};

// A step back right after a boundary is met first by a message, not by a tick: the step must be seen (and the
// series closed) before that message's values are held back, or the wait is logged twice and a second early.
const TCase kCases[] = {
    {"StepBackMidIntervalThenForward", TStepAt::MidInterval, true},
    {"StepBackBeforeTheFirstMessageOfAnInterval", TStepAt::BeforeFirstMessage, false},
};

void PrintTo(const TCase& c, std::ostream* out)
{
    *out << c.name;
}

struct TSent {
    QByteArray bed;
    std::int64_t second = 0;  // its stamp
};

class ClockStepEndToEnd : public ::testing::TestWithParam<TCase> {
protected:
    void SetUp() override
    {
        library_ = FakeTimeLibrary();
        if (library_.isEmpty()) GTEST_SKIP() << "libfaketime is not installed (scripts/setup.sh installs faketime)";
        fs::create_directories(dir_ / "registry");
        fs::create_directories(dir_ / "prefix");
        fs::create_directories(dir_ / "run");
        fs::permissions(dir_ / "run", fs::perms::owner_all, fs::perm_options::replace);
        test::WriteCollectingSettings(dir_ / "registry", static_cast<std::uint32_t>(kInterval));
        ASSERT_TRUE(SetOffset(0));
        ASSERT_TRUE(station_.Listen());
        QObject::connect(&sending_, &QTimer::timeout, [this] { SendRound(); });
        sending_.start(1000);
    }

    void TearDown() override
    {
        sending_.stop();
        if (halcyra_.state() == QProcess::NotRunning) return;
        ::kill(static_cast<pid_t>(halcyra_.processId()), SIGTERM);
        if (!halcyra_.waitForFinished(20000)) {
            halcyra_.kill();
            halcyra_.waitForFinished();
        }
    }

    // The service's wall clock runs `seconds` off the real one from the next reading on; the library reads
    // the file at every reading, so it is replaced whole rather than rewritten in place.
    bool SetOffset(int seconds)
    {
        QSaveFile file(Q(dir_ / "offset"));
        if (!file.open(QIODevice::WriteOnly)) return false;
        file.write((seconds < 0 ? "-" : "+") + QByteArray::number(std::abs(seconds)) + "\n");
        if (!file.commit()) return false;
        offset_ = seconds;
        return true;
    }

    // The station's clock, which is the service's.
    QDateTime StationNow() const { return QDateTime::currentDateTime().addSecs(offset_); }

    // One message per bed.
    void SendRound()
    {
        const QDateTime at = StationNow();
        for (const TBed& bed : kBeds) {
            ++number_;
            sent_[number_] = {bed.id, LocalSeconds(at)};
            station_.Send(Message(bed, number_, at));
        }
    }

    void StartService()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", Q(dir_ / "run"));
        env.insert("LD_PRELOAD", library_);
        env.remove("FAKETIME");
        env.insert("FAKETIME_TIMESTAMP_FILE", Q(dir_ / "offset"));
        env.insert("FAKETIME_NO_CACHE", "1");
        // Every timeout runs on the boot-time clock, which a stepped PC clock leaves alone.
        env.insert("DONT_FAKE_MONOTONIC", "1");
        // File times stay real, as a stepped clock leaves the times of files written before the step.
        env.insert("NO_FAKE_STAT", "1");
        // The sanitizer runtime wants to be loaded first; the preloaded library comes before it.
        const QString asan = env.value("ASAN_OPTIONS");
        env.insert("ASAN_OPTIONS", (asan.isEmpty() ? QString() : asan + ":") + "verify_asan_link_order=0");
        halcyra_.setProcessEnvironment(env);
        halcyra_.start(HALCYRA_EXE, {"--service", "--cs-port", QString::number(station_.Port()), "--registry",
                                     Q(dir_ / "registry"), "--prefix", Q(dir_ / "prefix"), "NOVELGARD"});
        ASSERT_TRUE(halcyra_.waitForStarted(10000));
    }

    const QByteArray& Log()
    {
        log_ += halcyra_.readAllStandardError();
        return log_;
    }

    bool LogShows(const QByteArray& text, int seconds)
    {
        return QTest::qWaitFor([&] { return Log().contains(text); }, seconds * 1000);
    }

    // `halcyra --status` against the running service, by a process with the real clock.
    QByteArray Status(bool json)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", Q(dir_ / "run"));
        QProcess status;
        status.setProcessEnvironment(env);
        QStringList arguments{"--status", "--registry", Q(dir_ / "registry")};
        if (json) arguments << "--json";
        status.start(HALCYRA_EXE, arguments);
        if (!QTest::qWaitFor([&] { return status.state() == QProcess::NotRunning; }, 30000)) {
            status.kill();
            status.waitForFinished();
        }
        return status.readAllStandardOutput();
    }

    QJsonObject JsonStatus() { return QJsonDocument::fromJson(Status(true)).object(); }

    // Whether the status lists every bed and each passes `test`.
    static bool EveryBed(const QJsonObject& status, const std::function<bool(const QJsonObject&)>& test)
    {
        std::map<QByteArray, QJsonObject> patients;
        for (const QJsonValue& p : status["patients"].toArray()) patients[p["id"].toString().toLatin1()] = p.toObject();
        for (const TBed& bed : kBeds)
            if (!patients.contains(bed.id) || !test(patients[bed.id])) return false;
        return true;
    }

    // Every bed has `more` points written since `since` (per bed; empty: since the start).
    bool WrittenSince(const std::map<QByteArray, qint64>& since, qint64 more)
    {
        return EveryBed(JsonStatus(), [&](const QJsonObject& p) {
            const auto before = since.find(p["id"].toString().toLatin1());
            return p["pointsWritten"].toInteger() >= (before == since.end() ? 0 : before->second) + more;
        });
    }

    std::map<QByteArray, qint64> PointsWritten()
    {
        std::map<QByteArray, qint64> points;
        for (const QJsonValue& p : JsonStatus()["patients"].toArray())
            points[p["id"].toString().toLatin1()] = p["pointsWritten"].toInteger();
        return points;
    }

    // Whether the station's clock shows this second of an interval.
    bool AtSecondOfInterval(int second) const { return LocalSeconds(StationNow()) % kInterval == second; }

    // Steps the service's clock and the station's stamps together. The station's time before the step.
    std::int64_t StepClock(int seconds, TStepAt at)
    {
        const int waitMs = (kInterval + 1) * 1000;
        if (at == TStepAt::MidInterval) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return AtSecondOfInterval(kInterval / 2); }, waitMs));
            const std::int64_t before = LocalSeconds(StationNow());
            EXPECT_TRUE(SetOffset(offset_ + seconds));
            return before;
        }
        // Silent from the last second before a boundary to the first after it: the service crosses the
        // boundary at a tick within that second, which the status confirms.
        EXPECT_TRUE(QTest::qWaitFor([&] { return AtSecondOfInterval(kInterval - 1); }, waitMs));
        sending_.stop();
        const std::int64_t boundary = LocalSeconds(StationNow()) + 1;
        EXPECT_TRUE(QTest::qWaitFor([&] { return AtSecondOfInterval(1); }, waitMs));
        EXPECT_TRUE(PollFor(
            [&] {
                const QJsonValue next = JsonStatus()["nextBoundary"];
                return next.isString() && test::LocalSeconds(next.toString().toStdString()) > boundary;
            },
            kInterval));
        const std::int64_t before = LocalSeconds(StationNow());
        EXPECT_TRUE(SetOffset(offset_ + seconds));
        SendRound();
        sending_.start(1000);
        return before;
    }

    // What the run did to the clock, on the station's clock.
    struct TSteps {
        std::int64_t backAt = 0;     // the time before the step back
        std::int64_t waitedFor = 0;  // the time the patient's values waited for, as the status showed it
        std::int64_t forwardAt = 0;  // the time before the step forward; 0 when there was none
    };

    // One series of a patient's file, in file order.
    void CheckSeries(const std::vector<TFilePoint>& points, bool heartRate, const QByteArray& bed, const TSteps& steps)
    {
        ASSERT_FALSE(points.empty());
        std::vector<std::size_t> delimiters;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const TFilePoint& p = points[i];
            if (i > 0) {
                EXPECT_LT(points[i - 1].second, p.second)
                    << "point " << i << " at " << ClockText(p.second).toStdString() << " does not follow "
                    << ClockText(points[i - 1].second).toStdString();
            }
            if (p.delimiter) {
                delimiters.push_back(i);
                continue;
            }
            EXPECT_EQ(p.second % kInterval, 0) << "a value off the grid";
            // A value lies at the boundary of its message's stamp, whichever way the clock went.
            if (heartRate) {
                const auto message = sent_.find(static_cast<int>(p.value));
                ASSERT_NE(message, sent_.end()) << "HR " << p.value << " was never sent";
                EXPECT_EQ(message->second.bed, bed);
                EXPECT_EQ(p.second, GridOf(message->second.second))
                    << "HR " << p.value << " at " << ClockText(p.second).toStdString();
            }
            EXPECT_FALSE(steps.forwardAt > 0 && p.second > steps.forwardAt + kInterval &&
                         p.second < steps.forwardAt + kForwardSeconds - kInterval)
                << "a value at " << ClockText(p.second).toStdString() << ", which the clock skipped";
        }
        EXPECT_TRUE(points.back().delimiter) << "the series is left open at the end";
        EXPECT_EQ(delimiters.size(), 2u) << "one delimiter at the step back, one at the end";
        ASSERT_FALSE(delimiters.empty());
        const std::size_t step = delimiters.front();
        ASSERT_GT(step, 0u);
        const TFilePoint& lastBefore = points[step - 1];
        EXPECT_FALSE(lastBefore.delimiter);
        EXPECT_LE(lastBefore.second, steps.backAt + kInterval) << "the step back was not closed right after it";
        EXPECT_GE(lastBefore.second, steps.backAt - 2 * kInterval) << "values before the step back are missing";
        EXPECT_EQ(points[step].second, steps.waitedFor)
            << "the values waited for " << ClockText(steps.waitedFor).toStdString() << ", the delimiter is at "
            << ClockText(points[step].second).toStdString();
        int afterWait = 0;
        int afterForward = 0;
        for (std::size_t i = step + 1; i < points.size(); ++i) {
            if (points[i].delimiter) continue;
            if (steps.forwardAt == 0 || points[i].second <= steps.forwardAt + kInterval) ++afterWait;
            if (steps.forwardAt > 0 && points[i].second >= steps.forwardAt + kForwardSeconds - kInterval)
                ++afterForward;
        }
        EXPECT_GE(afterWait, kGridTimesPerStretch) << "too few values after the wait";
        if (steps.forwardAt > 0) {
            EXPECT_GE(afterForward, kGridTimesPerStretch) << "too few values after the step forward";
        }
    }

    test::TTempDir dir_;
    QString library_;
    test::TTestStation station_;
    QTimer sending_;
    int offset_ = 0;
    int number_ = 0;
    std::map<int, TSent> sent_;  // by message number
    QProcess halcyra_;
    QByteArray log_;
};

TEST_P(ClockStepEndToEnd, LogsEachStepOnceShowsTheWaitAndKeepsEverySeriesInTimeOrder)
{
    const TCase& c = GetParam();
    constexpr int kPointsPerStretch = kGridTimesPerStretch * kSeriesPerPatient;
    StartService();
    ASSERT_TRUE(LogShows("Connected and collecting", 60)) << Log().toStdString();
    const qsizetype collectingAt = log_.indexOf("Connected and collecting");
    ASSERT_TRUE(PollFor([&] { return WrittenSince({}, kPointsPerStretch); }, 60)) << Log().toStdString();

    const std::int64_t backAt = StepClock(-kBackSeconds, c.backAt);
    EXPECT_TRUE(LogShows("Clock set back by 30 s at ", 10));

    // Every patient's values wait for the clock to pass the stop delimiter the step wrote.
    QJsonObject waiting;
    const bool shownWaiting = PollFor(
        [&] {
            waiting = JsonStatus();
            return EveryBed(waiting, [](const QJsonObject& p) { return p["waitingUntil"].isString(); });
        },
        3 * kInterval);
    EXPECT_TRUE(shownWaiting) << QJsonDocument(waiting).toJson().toStdString();
    const QString text = QString::fromUtf8(Status(false));
    std::map<QByteArray, std::int64_t> waitedFor;
    std::map<QByteArray, qint64> pointsAtWait;
    for (const QJsonValue& value : waiting["patients"].toArray()) {
        const QJsonObject p = value.toObject();
        const QByteArray id = p["id"].toString().toLatin1();
        pointsAtWait[id] = p["pointsWritten"].toInteger();
        if (!shownWaiting) continue;
        SCOPED_TRACE(id.toStdString());
        const std::int64_t until = test::LocalSeconds(p["waitingUntil"].toString().toStdString());
        waitedFor[id] = until;
        EXPECT_TRUE(until <= backAt && until > backAt - 2 * kInterval)
            << "the wait is not for the last time written before the step: " << ClockText(until).toStdString();
        EXPECT_GT(until, test::LocalSeconds(waiting["time"].toString().toStdString())) << "the wait is over already";
        const QString reason = "Values wait for the clock to pass " + ClockText(until) +
                               ": the file holds later points (the clock was set back)";
        EXPECT_TRUE(p["ticked"].toBool());
        EXPECT_FALSE(p["collecting"].toBool());
        EXPECT_EQ(p["problem"].toString(), reason);
        EXPECT_TRUE(p["problemCurrent"].toBool());
        const QRegularExpression line("^  " + QRegularExpression::escape(p["id"].toString()) + "  .*$",
                                      QRegularExpression::MultilineOption);
        const QString shown = line.match(text).captured();
        EXPECT_TRUE(shown.contains("  collecting waiting for the clock to pass " + ClockText(until) + "  "))
            << shown.toStdString();
        EXPECT_TRUE(shown.endsWith("  problem " + reason)) << shown.toStdString();
    }

    // The values come again once the clock has passed that time.
    EXPECT_TRUE(PollFor([&] { return WrittenSince(pointsAtWait, kPointsPerStretch); }, kBackSeconds + 4 * kInterval));
    EXPECT_TRUE(EveryBed(JsonStatus(), [](const QJsonObject& p) {
        return p["collecting"].toBool() && p["waitingUntil"].isNull() && !p["problemCurrent"].toBool();
    })) << "still shown waiting";

    std::int64_t forwardAt = 0;
    if (c.forward) {
        forwardAt = StepClock(kForwardSeconds, TStepAt::MidInterval);
        EXPECT_TRUE(LogShows("Clock set forward by 1 min 0 s at ", 10));
        const std::map<QByteArray, qint64> pointsAtForward = PointsWritten();
        EXPECT_TRUE(PollFor([&] { return WrittenSince(pointsAtForward, kPointsPerStretch); }, 4 * kInterval));
    }

    sending_.stop();
    ::kill(static_cast<pid_t>(halcyra_.processId()), SIGTERM);
    ASSERT_TRUE(QTest::qWaitFor([&] { return halcyra_.state() == QProcess::NotRunning; }, 30000));
    EXPECT_EQ(halcyra_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(halcyra_.exitCode(), 0);
    const QString log = QString::fromUtf8(Log());
    SCOPED_TRACE(log.toStdString());

    // Each step once, at the time the clock showed before it.
    const QRegularExpression back("Clock set back by 30 s at (\\d\\d:\\d\\d:\\d\\d); boundaries follow the clock");
    const QRegularExpression forward(
        "Clock set forward by 1 min 0 s at (\\d\\d:\\d\\d:\\d\\d); boundaries follow "
        "the clock");
    const QRegularExpression heldBack(
        "Values are held back for [^,]+, until the clock passes (\\d\\d:\\d\\d:\\d\\d): ");
    EXPECT_EQ(log.count("Clock set "), c.forward ? 2 : 1);
    EXPECT_EQ(log.count(back), 1);
    const std::int64_t backLogged = ClockTextAfter(back.match(log).captured(1), backAt);
    EXPECT_TRUE(backLogged >= 0 && backLogged <= 2) << backLogged;
    if (c.forward) {
        EXPECT_EQ(log.count(forward), 1);
        const std::int64_t forwardLogged = ClockTextAfter(forward.match(log).captured(1), forwardAt);
        EXPECT_TRUE(forwardLogged >= 0 && forwardLogged <= 2) << forwardLogged;
    }
    const QRegularExpressionMatch heldBackLine = heldBack.match(log);
    EXPECT_EQ(log.count("Values are held back"), 1) << "the wait of one step is logged more than once";
    EXPECT_GT(heldBackLine.capturedStart(), back.match(log).capturedStart()) << "a wait logged before the step";
    std::set<QString> waitedForShown;
    for (const auto& [id, until] : waitedFor) waitedForShown.insert(ClockText(until));
    EXPECT_TRUE(waitedForShown.contains(heldBackLine.captured(1))) << "the log names another time than the status";
    EXPECT_EQ(log.indexOf("Not Connected", collectingAt), -1) << "a step of the clock was taken for a lost station";

    for (const TBed& bed : kBeds) {
        SCOPED_TRACE(bed.id.toStdString());
        const auto series =
            test::ReadFileSeries(dir_ / "prefix" / "drive_c" / "KVD" / "DATA" / bed.id.toStdString() / "Halcyra.pil");
        EXPECT_EQ(series.size(), 2u) << "HR and SpO2, nothing else";
        for (const auto& [label, points] : series) {
            SCOPED_TRACE(label);
            CheckSeries(points, label == "HR", bed.id, {backAt, waitedFor[bed.id], forwardAt});
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Steps, ClockStepEndToEnd, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<TCase>& info) { return info.param.name; });

}  // namespace
}  // namespace halcyra
