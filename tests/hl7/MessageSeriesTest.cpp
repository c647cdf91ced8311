// The series a stream of messages leaves in the patients' monitor-data files off the happy path: one point
// per series and grid time, and every collected series closed once when collection ends for a patient.
// The files are read back whole, as the data manager reads them.
#include "EngineFixture.h"
#include "hl7/MessageSplitter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <map>
#include <sstream>
#include <utility>

namespace halcyra {
namespace {

using test::AperiodicObx;
using test::At;
using test::Msh;
using test::Obr;
using test::Obx;
using test::Pid;
using test::TEngineFixture;

using test::kHR;
using test::kNBP;
using test::kSpO2;

std::string Folder(const std::string& id)
{
    return "C:\\KVD\\DATA\\" + id + "\\";
}

std::vector<std::string> Message(const std::string& id, TDateTime time, const std::string& hr = "72")
{
    return {Msh(), Pid(id, "Smith^John"), Obr(FormatCompactStamp(time)), Obx(kHR, hr, "bpm"), Obx(kSpO2, "97", "%")};
}

struct TSeriesPoints {
    std::vector<double> values;      // times, in file order
    std::vector<double> delimiters;  // times
};

// The series of a patient's Halcyra.pil by label, read whole; empty when there is no file.
std::map<std::string, TSeriesPoints> FileSeries(TEngineFixture& f, const std::string& id)
{
    std::map<std::string, TSeriesPoints> series;
    const std::filesystem::path host = f.files.HostPath(Folder(id) + "Halcyra.pil");
    if (!std::filesystem::exists(host)) return series;
    TSaveItNew reader(std::make_shared<TPosixSaveFileIo>());
    reader.SetFileName(host);
    reader.ReloadStructure();
    for (const TParameterSerie* serie : reader.ParameterSeries()) {
        TSeriesPoints& points = series[serie->Info.ParameterName()];
        if (!serie->Serie) continue;
        for (const auto& point : serie->Serie->DataSet().Points()) points.values.push_back(point->XValue);
        for (const auto& point : serie->Serie->DataSet().ControlPoints()) points.delimiters.push_back(point->XValue);
    }
    return series;
}

std::string FileBytes(TEngineFixture& f, const std::string& id)
{
    std::ifstream in(f.files.HostPath(Folder(id) + "Halcyra.pil"), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool SameTime(double a, double b)
{
    return std::fabs(a - b) < kOneMillisecond / 2;
}

// What the data manager draws must hold for every series of the file: no two values at one time, no two
// delimiters in a row, and, when collection ended, a delimiter after the last value.
void ExpectSound(const std::map<std::string, TSeriesPoints>& series, bool closed)
{
    for (const auto& [label, points] : series) {
        SCOPED_TRACE(label);
        std::vector<std::pair<double, bool>> timeline;  // time, delimiter
        for (double t : points.values) timeline.emplace_back(t, false);
        for (double t : points.delimiters) timeline.emplace_back(t, true);
        std::sort(timeline.begin(), timeline.end());
        for (std::size_t i = 1; i < timeline.size(); ++i) {
            EXPECT_FALSE(!timeline[i].second && !timeline[i - 1].second &&
                         SameTime(timeline[i].first, timeline[i - 1].first))
                << "two values at " << FormatIsoMilliseconds(timeline[i].first);
            EXPECT_FALSE(timeline[i].second && timeline[i - 1].second)
                << "two delimiters in a row at " << FormatIsoMilliseconds(timeline[i].first);
        }
        if (closed && !timeline.empty()) {
            EXPECT_TRUE(timeline.back().second) << "the series is left open";
        }
    }
}

std::vector<double> Times(std::initializer_list<TDateTime> times)
{
    return times;
}

// Near enough to be the same time stamp: sums of doubles differ in their last bits.
void ExpectTimes(const std::vector<double>& actual, const std::vector<double>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i)
        EXPECT_TRUE(SameTime(actual[i], expected[i]))
            << FormatIsoMilliseconds(actual[i]) << " is not " << FormatIsoMilliseconds(expected[i]);
}

// Connected, with patient 333 listed and registered (its file made by its message) but not ticked; then
// collecting, with new patients ticked as they arrive.
void CollectingBesideAnUncollectedPatient(TEngineFixture& f)
{
    f.handler.Settings().autoCreate = true;
    ASSERT_EQ(f.patientFile.CreatePatient("333", "Bo", "Ek", Folder("333")), -1);
    f.cycle.SetStatus(csConnected);
    f.ReceiveAt(At(12, 0, 7), Message("333", At(12, 0, 7)));
    f.census.SetTicked(f.RowOf("333"), false);
    f.census.CBListPatientsClickCheck();
    ASSERT_TRUE(f.files.FileExists(Folder("333") + "Halcyra.pil"));
    f.cycle.Start();
}

int DelimiterCount(const std::map<std::string, TSeriesPoints>& series)
{
    int n = 0;
    for (const auto& [label, points] : series) n += static_cast<int>(points.delimiters.size());
    return n;
}

TEST(MessageSeries, ASevenSecondSenderWithIntervalTenGetsOnePointPerSeriesAndGridTime)
{
    TEngineFixture f;
    f.centralStation.open = true;
    f.Collecting();  // first boundary 12:00:10.250
    int messages = 0;
    for (int second = 8; second <= 8 + 7 * 60; ++second) {
        f.TickAt(At(12, 0, 7, 300) + (second - 7) * kOneSecond);
        if ((second - 8) % 7 != 0) continue;
        const TDateTime sent = At(12, 0, 0) + second * kOneSecond;
        f.ReceiveAt(sent + 0.5 * kOneSecond, Message("123456", sent, std::to_string(60 + messages % 30)));
        ++messages;
    }
    const auto series = FileSeries(f, "123456");
    ASSERT_EQ(series.size(), 2u);
    ExpectSound(series, false);
    // Every value is on the grid, and each grid time the sender reached holds one.
    const TSeriesPoints& hr = series.at("HR");
    for (double t : hr.values) EXPECT_TRUE(SameTime(t, f.cycle.AlignToInterval(t)));
    EXPECT_GE(hr.values.size(), 30u);
    // The data manager heard of exactly the points in the file.
    EXPECT_EQ(f.Values().size(), hr.values.size() + series.at("SpO2").values.size());
}

// The message as the station frames it on the wire.
std::string Framed(const std::vector<std::string>& segments)
{
    std::string bytes(1, kStartBlock);
    for (const std::string& segment : segments) {
        bytes += segment;
        bytes += kSegmentEnd;
    }
    bytes += kEndBlock;
    bytes += kSegmentEnd;
    return bytes;
}

TEST(MessageSeries, ABoundaryInsideAReadHoldWritesWhatItWouldWithoutTheHold)
{
    // The boundary is 12:00:10.250. 73 starts a hold just before it; 74 arrives within the hold, before the
    // boundary, but is read after it (at the end of the hold, or by a tick inside the hold); 75 is the first
    // message after it. The station's own times put 74 and 75 on the next grid time: whichever message is
    // taken as the new interval's first gives that grid time its values.
    enum class TEnd { NoHold, HoldEndsAfterTheBoundary, TickInsideTheHold };
    for (const TEnd end : {TEnd::NoHold, TEnd::HoldEndsAfterTheBoundary, TEnd::TickInsideTheHold}) {
        SCOPED_TRACE(static_cast<int>(end));
        TEngineFixture f;
        f.centralStation.canHold = end != TEnd::NoHold;
        f.Collecting();
        const auto arrive = [&f](int second, int millisecond, int stamp, const std::string& hr) {
            f.clock.Set(At(12, 0, second, millisecond));
            f.centralStation.Receive(Framed(Message("123456", At(12, 0, stamp), hr)));
        };
        arrive(8, 0, 8, "72");
        f.clock.Set(At(12, 0, 8, 100));
        f.centralStation.EndHold();
        arrive(10, 200, 9, "73");
        if (end != TEnd::NoHold) {
            ASSERT_EQ(f.centralStation.holds.size(), 2u);
            EXPECT_NEAR(f.centralStation.holds[1], 0.05, 1e-6) << "the hold ends at the boundary";
        }
        arrive(10, 230, 16, "74");
        f.clock.Set(At(12, 0, 10, 252));
        if (end == TEnd::TickInsideTheHold) f.engine.Tick();
        f.centralStation.EndHold();
        arrive(10, 300, 17, "75");

        EXPECT_EQ(f.Values(),
                  (std::vector<std::string>{
                      "123456 HR bpm 2024-05-06T12:00:10.000 72", "123456 SpO2 % 2024-05-06T12:00:10.000 97",
                      "123456 HR bpm 2024-05-06T12:00:20.000 75", "123456 SpO2 % 2024-05-06T12:00:20.000 97"}));
    }
}

TEST(MessageSeries, AtTheCentralStationsOwnPaceEveryMessageIsWritten)
{
    // Off the grid, two messages of one second are two observations: both are kept.
    TEngineFixture f;
    f.cycle.Settings().useHalcyraSettings = true;
    f.Collecting();
    f.ReceiveAt(At(12, 0, 8, 100), Message("123456", At(12, 0, 8), "72"));
    f.ReceiveAt(At(12, 0, 8, 900), Message("123456", At(12, 0, 8), "73"));
    EXPECT_EQ(FileSeries(f, "123456").at("HR").values.size(), 2u);
    EXPECT_EQ(f.Values().size(), 4u);
}

TEST(MessageSeries, ARestartMidIntervalDoesNotWriteTheGridTimeAgain)
{
    TEngineFixture f;
    ASSERT_EQ(f.patientFile.CreatePatient("123456", "John", "Smith", Folder("123456")), -1);
    {
        // The run before the restart wrote the message of 12:00:09 at 12:00:10.
        TSaveItNew writer(f.io);
        TDataManagerNotices notices(f.dataManager);
        TPatientMonitorFile earlier(f.files, f.io, f.params, notices);
        earlier.OpenPatientMonitorFile(writer, Folder("123456"), "123456", "John Smith");
        earlier.AppendValue("HR", "", "", "bpm", At(12, 0, 10), 70, TValueTiming::Grid);
        earlier.AppendValue("SpO2", "", "", "%", At(12, 0, 10), 96, TValueTiming::Grid);
    }
    f.autoObject.calls.clear();
    f.clock.Set(At(12, 0, 12));
    f.Collecting();  // first boundary 12:00:20
    f.ReceiveAt(At(12, 0, 13), Message("123456", At(12, 0, 13), "71"));
    f.TickAt(At(12, 0, 20, 300));
    f.ReceiveAt(At(12, 0, 21), Message("123456", At(12, 0, 21), "72"));

    const auto series = FileSeries(f, "123456");
    ExpectSound(series, false);
    EXPECT_EQ(series.at("HR").values, (std::vector<double>{At(12, 0, 10), At(12, 0, 20)}));
    EXPECT_EQ(f.Values(), (std::vector<std::string>{"123456 HR bpm 2024-05-06T12:00:20.000 72",
                                                    "123456 SpO2 % 2024-05-06T12:00:20.000 97"}));
    // The skipped message still took the interval: the next one of it is not written either.
    f.ReceiveAt(At(12, 0, 22), Message("123456", At(12, 0, 22), "73"));
    EXPECT_EQ(f.Values().size(), 2u);
}

// The wall clock is set while the station sends every second. With the station's stamps on its own, right
// clock, the boundaries follow the wall clock and a value is written every interval throughout; nothing
// counts as a lost station. With stamps that step too (a change of summer time), the values whose times a
// series has passed already wait until the clock passes its last point. A step back closes every series.
TEST(MessageSeries, ClockStepsKeepTheSeriesOnTheGridAndNeverRunningBack)
{
    struct TCase {
        const char* name;
        double step;  // seconds
        bool stampsStep;
        const char* logLine;
    };
    const TCase cases[] = {
        {"back 1 h", -3600, false, "Clock set back by 1 h 0 min at 12:05:08; boundaries follow the clock"},
        {"forward 1 h", 3600, false, "Clock set forward by 1 h 0 min at 12:05:08; boundaries follow the clock"},
        {"back 30 s", -30, false, "Clock set back by 30 s at 12:05:08; boundaries follow the clock"},
        {"forward 90 s", 90, false, "Clock set forward by 1 min 30 s at 12:05:08; boundaries follow the clock"},
        {"back 1 h, the stamps too", -3600, true,
         "Clock set back by 1 h 0 min at 12:05:08; boundaries follow the clock"},
        {"forward 1 h, the stamps too", 3600, true,
         "Clock set forward by 1 h 0 min at 12:05:08; boundaries follow the clock"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TEngineFixture f;
        f.Collecting();  // at 12:00:07.250
        f.logLines.clear();
        TDateTime stamp = f.clock.Now();
        TDateTime waitingSeen = 0;
        const auto seconds = [&](int count) {
            for (int i = 0; i < count; ++i) {
                f.clock.AdvanceSeconds(1);
                stamp += kOneSecond;
                f.cycle.Tick();
                f.Receive(Message("111", stamp));
                for (const TPatientStatus& p : f.engine.RunStatus().patients)
                    if (p.waitingUntil > 0) waitingSeen = p.waitingUntil;
            }
        };
        seconds(300);
        const TDateTime lastBefore = FileSeries(f, "111").at("HR").values.back();
        f.clock.StepWallSeconds(c.step);
        if (c.stampsStep) stamp += c.step * kOneSecond;
        seconds(static_cast<int>(std::fabs(c.step)) + 300);
        f.cycle.Stop();

        EXPECT_EQ(f.cycle.ClockSteps(), 1);
        // Each log line after its time stamp; the step is seen by the tick after it.
        const auto lines = [&](const std::string& text) {
            return std::count_if(f.logLines.begin(), f.logLines.end(), [&](const std::string& line) {
                return line.size() >= text.size() && line.compare(line.size() - text.size(), text.size(), text) == 0;
            });
        };
        EXPECT_EQ(lines(c.logLine), 1);
        EXPECT_EQ(lines(": Not Connected"), 0);
        const auto series = FileSeries(f, "111");
        ExpectSound(series, true);
        for (const auto& [label, points] : series) {
            SCOPED_TRACE(label);
            // In file order, one interval apart; a gap only where the stamps went back and their times were
            // held already, or jumped ahead with the clock.
            const std::vector<double>& t = points.values;
            ASSERT_GE(t.size(), 60u);
            int gaps = 0;
            for (std::size_t i = 1; i < t.size(); ++i) {
                ASSERT_GT(t[i], t[i - 1]) << FormatIsoMilliseconds(t[i]);
                if (!SameTime(t[i] - t[i - 1], 10 * kOneSecond)) ++gaps;
            }
            EXPECT_EQ(gaps, c.stampsStep && c.step > 0 ? 1 : 0);
            // A step back closes the series at the step; Stop closes it at the end.
            const std::size_t delimiters = c.step < 0 ? 2 : 1;
            ASSERT_EQ(points.delimiters.size(), delimiters);
            if (c.step < 0) {
                EXPECT_TRUE(SameTime(points.delimiters.front(), lastBefore + kOneSecond));
            }
        }
        // Held values are shown and logged once, with the time they wait for.
        const bool held = c.stampsStep && c.step < 0;
        EXPECT_EQ(waitingSeen > 0, held);
        if (held) {
            EXPECT_TRUE(SameTime(waitingSeen, lastBefore + kOneSecond)) << FormatIsoMilliseconds(waitingSeen);
        }
        const std::string heldLine =
            "Values are held back for 59 min 51 s, until the clock passes 12:05:01: the files "
            "hold later points, and a series never runs back in time nor holds a local time "
            "twice";
        EXPECT_EQ(lines(heldLine), held ? 1 : 0);
    }
}

TEST(MessageSeries, LosingTheLinkClosesEveryCollectedSeriesOnce)
{
    struct TCase {
        const char* how;
        std::function<void(TEngineFixture&)> lose;
    };
    const TCase cases[] = {
        {"the central station falls silent",
         [](TEngineFixture& f) {
             f.centralStation.open = false;
             f.TickAt(f.clock.Now() + 16 * kOneSecond);
         }},
        {"a message of another version",
         [](TEngineFixture& f) {
             f.ReceiveAt(f.clock.Now() + kOneSecond, {Msh("2.4"), Pid("111", "Lee^Ann")});
         }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.how);
        TEngineFixture f;
        CollectingBesideAnUncollectedPatient(f);
        f.TickAt(At(12, 0, 10, 300));
        f.ReceiveAt(At(12, 0, 10, 500), Message("333", At(12, 0, 10)));
        f.ReceiveAt(At(12, 0, 11), Message("111", At(12, 0, 11)));
        // An aperiodic value with an older time, written last.
        f.ReceiveAt(At(12, 0, 12), {Msh(), Pid("222", "Ray^Bob"), Obr("20240506120012"), Obx(kHR, "60", "bpm"),
                                    AperiodicObx(kNBP, "120", "mmHg", "20240506120004")});
        ASSERT_EQ(f.monitorFile.LastWrittenTime(), At(12, 0, 4));
        c.lose(f);
        ASSERT_TRUE(IsDisconnected(f.cycle.Status()));

        const auto first = FileSeries(f, "111");
        const auto second = FileSeries(f, "222");
        ExpectSound(first, true);
        ExpectSound(second, true);
        // One second after the later of the last written time and the series' own last point.
        ExpectTimes(first.at("HR").delimiters, Times({At(12, 0, 11)}));
        ExpectTimes(second.at("HR").delimiters, Times({At(12, 0, 11)}));
        ExpectTimes(second.at("NBPs").delimiters, Times({At(12, 0, 5)}));
        EXPECT_EQ(second.count("SpO2"), 0u);  // never written for 222: no series made for a delimiter
        EXPECT_TRUE(FileSeries(f, "333").empty());
        EXPECT_EQ(f.cycle.DelimitersWritten(), 4);
        EXPECT_EQ(static_cast<int>(f.autoObject.delimiterTimes.size()), 4);
        // The data manager hears the times the file holds.
        std::vector<double> told = f.autoObject.delimiterTimes;
        std::sort(told.begin(), told.end());
        ExpectTimes(told, Times({At(12, 0, 5), At(12, 0, 11), At(12, 0, 11), At(12, 0, 11)}));

        // The end of the run in status 3, the window shown again: nothing more.
        f.cycle.WriteStopDelimiters();
        f.cycle.ReapplyStatus();
        EXPECT_EQ(f.cycle.DelimitersWritten(), 4);

        // The link returns and collection goes on; Stop closes the series again after the new values.
        f.centralStation.open = true;
        f.TickAt(At(12, 0, 40, 300));
        f.ReceiveAt(At(12, 0, 41), Message("111", At(12, 0, 41)));
        ASSERT_EQ(f.cycle.Status(), csCollecting);
        // The boundary left behind by the outage has moved ahead of the clock: no second value at 12:00:40.
        for (int tick = 1; tick <= 3; ++tick) f.TickAt(At(12, 0, 41, 300) + tick * kOneSecond);
        f.ReceiveAt(At(12, 0, 44, 500), Message("111", At(12, 0, 43)));
        f.cycle.Stop();
        const auto after = FileSeries(f, "111");
        ExpectSound(after, true);
        ExpectTimes(after.at("HR").delimiters, Times({At(12, 0, 11), At(12, 0, 41)}));
        EXPECT_EQ(DelimiterCount(after) + DelimiterCount(FileSeries(f, "222")),
                  static_cast<int>(f.autoObject.delimiterTimes.size()));
    }
}

TEST(MessageSeries, UntickingOnePatientClosesThatPatientsSeriesOnly)
{
    TEngineFixture f;
    CollectingBesideAnUncollectedPatient(f);
    f.ReceiveAt(At(12, 0, 8), Message("333", At(12, 0, 8)));
    f.ReceiveAt(At(12, 0, 9), Message("111", At(12, 0, 9)));
    f.ReceiveAt(At(12, 0, 9), Message("222", At(12, 0, 9)));
    const std::string others[] = {FileBytes(f, "222"), FileBytes(f, "333")};

    f.census.SetTicked(f.RowOf("111"), false);
    f.census.CBListPatientsClickCheck();
    ExpectSound(FileSeries(f, "111"), true);
    EXPECT_EQ(DelimiterCount(FileSeries(f, "111")), 2);
    EXPECT_EQ(FileBytes(f, "222"), others[0]);  // still collected: its series run on
    EXPECT_EQ(FileBytes(f, "333"), others[1]);  // never collected: nothing in its file
    EXPECT_EQ(f.Count("AddDelimiter HR bpm"), 1);

    // Stop closes 222; an untick after Stop has nothing left to close.
    f.cycle.Stop();
    ExpectSound(FileSeries(f, "222"), true);
    const std::string closed = FileBytes(f, "222");
    f.census.SetTicked(f.RowOf("222"), false);
    f.census.CBListPatientsClickCheck();
    EXPECT_EQ(FileBytes(f, "222"), closed);
    EXPECT_EQ(f.cycle.DelimitersWritten(), 4);
}

}  // namespace
}  // namespace halcyra
