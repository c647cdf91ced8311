#include "CycleFixture.h"
#include "support/TimeZone.h"

#include <gtest/gtest.h>

#include <functional>

namespace halcyra {
namespace {

using test::At;
using test::TCycleFixture;

constexpr double kTolerance = 1e-9;  // under a tenth of a millisecond

struct TBoundaryCase {
    int interval;
    TDateTime first;
    TDateTime second;
};

TEST(CollectionCycle, BoundariesOfAStartAtSevenAndAQuarterSeconds)
{
    const TBoundaryCase cases[] = {
        {30, At(12, 0, 30, 250), At(12, 1, 0, 250)},
        {60, At(12, 1, 0, 250), At(12, 2, 0, 250)},
        {300, At(12, 5, 0, 250), At(12, 10, 0, 250)},
        {7, At(12, 0, 14, 250), At(12, 0, 21, 250)},  // not a multiple of 5: no alignment
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.interval);
        TCycleFixture f;
        f.cycle.FirstShow(c.interval);
        f.Connected();
        f.clock.Set(At(12, 0, 7, 250));
        f.cycle.Start();
        EXPECT_NEAR(f.cycle.Interval().NextBoundary(), c.first, kTolerance);
        // The tick that crosses the boundary moves it by one interval, counted from the boundary itself.
        f.clock.Set(c.first + 0.6 * kOneSecond);
        f.cycle.Tick();
        EXPECT_NEAR(f.cycle.Interval().NextBoundary(), c.second, kTolerance);
        EXPECT_NEAR(f.cycle.LastCollectInstant(), c.first + 0.6 * kOneSecond, kTolerance);
    }
}

TEST(CollectionCycle, ATickAtTheBoundarysOwnTimeReachesIt)
{
    // The boundary is the start plus whole seconds, the tick time is encoded from the calendar: the two
    // doubles differ in their last bits, and the tick must still take the boundary.
    for (int second = 0; second < 60; ++second) {
        SCOPED_TRACE(second);
        TCycleFixture f;
        f.centralStation.open = true;
        f.Connected();
        f.clock.Set(EncodeDateTime(2024, 5, 6, 9, 59, second));
        f.cycle.Start();
        const TDateTimeParts b = DecodeDateTime(f.cycle.Interval().NextBoundary());
        for (int i = 0; i < 30; ++i) {
            const TDateTimeParts due = DecodeDateTime(f.cycle.Interval().NextBoundary());
            f.clock.Set(
                EncodeDateTime(due.year, due.month, due.day, due.hour, due.minute, due.second, due.millisecond));
            f.cycle.DataReceived();
            f.cycle.CompleteMessageReceived();
            f.cycle.Tick();
            EXPECT_EQ(f.cycle.LastCollectInstant(), f.clock.Now()) << i;
        }
        EXPECT_EQ(b.second % 10, 0);
    }
}

TEST(CollectionCycle, ATickAFewMillisecondsEarlyReachesTheBoundary)
{
    // A timer fires a hair before the boundary it is due at; a tick well before it is the previous one.
    struct TCase {
        int millisecondsEarly;
        bool reached;
    };
    const TCase cases[] = {{0, true}, {1, true}, {4, true}, {20, false}, {50, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.millisecondsEarly);
        TCycleFixture f;
        f.centralStation.open = true;
        f.Connected();
        f.cycle.Start();  // first boundary 12:00:10.250
        f.cycle.IsNotYetSaved("1", "A B");
        const TDateTime tick = At(12, 0, 10, 250) - c.millisecondsEarly * kOneMillisecond;
        f.clock.Set(tick);
        f.cycle.Tick();
        EXPECT_EQ(f.cycle.IsNotYetSaved("1", "A B"), c.reached);
        // The next boundary stays on the grid of the first one, whenever the tick came.
        EXPECT_NEAR(f.cycle.Interval().NextBoundary(), c.reached ? At(12, 0, 20, 250) : At(12, 0, 10, 250), kTolerance);
        if (c.reached) {
            EXPECT_NEAR(f.cycle.LastCollectInstant(), tick, kTolerance);
        }
    }
}

TEST(CollectionCycle, AlignToIntervalRoundsToTheNearestGridTime)
{
    struct TCase {
        int interval;
        TDateTime in;
        TDateTime out;
    };
    const TCase cases[] = {
        {30, At(12, 0, 44), At(12, 0, 30)},
        {30, At(12, 0, 46), At(12, 1, 0)},
        {60, EncodeDateTime(2024, 1, 31, 23, 59, 59), EncodeDateTime(2024, 2, 1)},
        {10, At(12, 0, 4, 999), At(12, 0, 0)},
        // An interval of 0 or less counts as 10 seconds instead of dividing by zero.
        {0, At(12, 0, 6), At(12, 0, 10)},
        {-5, At(12, 0, 14), At(12, 0, 10)},
        // The start of summer time in central Europe: 02:00 to 03:00 does not exist that day.
        {10, EncodeDateTime(2026, 3, 29, 1, 59, 54), EncodeDateTime(2026, 3, 29, 1, 59, 50)},
        {10, EncodeDateTime(2026, 3, 29, 1, 59, 58), EncodeDateTime(2026, 3, 29, 3, 0, 0)},
        {3600, EncodeDateTime(2026, 3, 29, 1, 45, 0), EncodeDateTime(2026, 3, 29, 3, 0, 0)},
        {10, EncodeDateTime(2026, 3, 29, 3, 0, 4), EncodeDateTime(2026, 3, 29, 3, 0, 0)},
        // Its end: the repeated hour exists.
        {10, EncodeDateTime(2026, 10, 25, 2, 59, 58), EncodeDateTime(2026, 10, 25, 3, 0, 0)},
        {10, EncodeDateTime(2026, 10, 25, 2, 0, 3), EncodeDateTime(2026, 10, 25, 2, 0, 0)},
    };
    const test::TScopedTimeZone zone("Europe/Berlin");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.interval);
        TCollectInterval interval;
        interval.SetSeconds(c.interval);
        EXPECT_NEAR(interval.AlignToInterval(c.in), c.out, kTolerance);
    }
}

TEST(CollectionCycle, AnIntervalOfZeroGivesTenSecondBoundariesAndTimeout)
{
    TCycleFixture f;
    f.cycle.FirstShow(0);
    EXPECT_EQ(f.cycle.Interval().Seconds(), 10);
    EXPECT_EQ(f.cycle.CentralStationTimeout(), 15);
    f.Connected();
    f.cycle.Start();
    EXPECT_NEAR(f.cycle.Interval().NextBoundary(), At(12, 0, 10, 250), kTolerance);
}

TEST(CollectionCycle, CentralStationTimeoutRoundsHalvesToEven)
{
    const std::pair<int, int> cases[] = {{10, 15}, {5, 8}, {7, 10}, {3, 4}, {1, 2}};
    for (const auto& [interval, timeout] : cases) {
        TCollectInterval i;
        i.SetSeconds(interval);
        EXPECT_EQ(i.CentralStationTimeout(), timeout) << interval;
    }
}

TEST(SavedDataList, MarksPerPatientAndName)
{
    TSavedDataList list;
    // Seen for the first time: written at once, and marked.
    EXPECT_TRUE(list.IsNotYetSaved("1", "John Smith"));
    EXPECT_FALSE(list.IsNotYetSaved("1", "John Smith"));
    // Another name is another entry; so is another letter case.
    EXPECT_TRUE(list.IsNotYetSaved("1", "John Smyth"));
    EXPECT_TRUE(list.IsNotYetSaved("1", "john smith"));
    // The pair is compared as a pair.
    EXPECT_TRUE(list.IsNotYetSaved("12", "3"));
    EXPECT_TRUE(list.IsNotYetSaved("1", "23"));
    list.ClearSavedMarks();
    EXPECT_TRUE(list.IsNotYetSaved("1", "John Smith"));
    EXPECT_TRUE(list.IsNotYetSaved("1", "John Smith"));  // looking does not mark
    list.MarkSaved("1", "John Smith", true);
    EXPECT_FALSE(list.IsNotYetSaved("1", "John Smith"));
    list.MarkSaved("9", "Nobody", true);  // no entry: nothing happens
    EXPECT_EQ(list.Count(), 5u);
}

TEST(CollectionCycle, SetStatusAppliesControlsLogsAndTellsTheDataManagerOnlyOfChanges)
{
    TCycleFixture f;
    f.cycle.SetStatus(csConnected);
    f.cycle.SetStatus(csConnected);
    f.clock.AdvanceSeconds(3);
    f.cycle.SetStatus(csCollecting);
    f.cycle.SetStatus(csConnectionLost);
    EXPECT_EQ(f.CallsStartingWith("SetCollectorState"),
              (std::vector<std::string>{"SetCollectorState 0 1", "SetCollectorState 0 2", "SetCollectorState 0 2"}));
    EXPECT_NEAR(f.cycle.LastStatusChange(), f.clock.Monotonic(), kTolerance);
    ASSERT_EQ(f.view.controls.size(), 4u);
    EXPECT_TRUE(f.view.controls[1].startEnabled && f.view.controls[1].startVisible && !f.view.controls[1].stopVisible);
    EXPECT_TRUE(!f.view.controls[2].startVisible && f.view.controls[2].stopVisible && f.view.controls[2].trayVisible &&
                !f.view.controls[2].serverSelectVisible && f.view.controls[2].hideEnabled);
    EXPECT_TRUE(f.view.controls[3].showWindow && f.view.controls[3].disableParameters &&
                f.view.controls[3].clearParameterGrid && !f.view.controls[3].startEnabled);
    // The fall is a lost link; the status applied again (at a show) is no news.
    f.cycle.ReapplyStatus();
    const auto& lines = f.logLines;
    ASSERT_GE(lines.size(), 5u);
    const struct {
        std::string text;
        TLogPriority priority;
    } expected[] = {
        {"Connected but not collecting", TLogPriority::Info},
        {"Connected but not collecting", TLogPriority::Info},
        {"Connected and collecting", TLogPriority::Info},
        {"Not Connected", TLogPriority::Error},
        {"Not Connected", TLogPriority::Info},
    };
    for (std::size_t i = 0; i < 5; ++i) {
        const std::size_t at = lines.size() - 5 + i;
        EXPECT_NE(lines[at].find(expected[i].text), std::string::npos) << lines[at];
        EXPECT_EQ(f.logPriorities[at], expected[i].priority) << lines[at];
    }
}

TEST(CollectionCycle, LosingTheConnectionDisablesThePatientRows)
{
    TCycleFixture f;
    f.targets.rows = {{"1", "A", "B", true, true}};
    f.cycle.SetStatus(csConnected);
    EXPECT_TRUE(f.targets.rows[0].enabled);
    f.cycle.SetStatus(csNotConnected);
    EXPECT_FALSE(f.targets.rows[0].enabled);
}

TEST(CollectionCycle, StartWithoutParametersFailsAndChangesNothing)
{
    TCycleFixture f;
    f.cycle.SetStatus(csConnected);
    f.params.SetAutomatic(false);
    EXPECT_THROW(f.cycle.Start(), ECollectError);
    EXPECT_EQ(f.cycle.Status(), csConnected);
    EXPECT_TRUE(f.CallsStartingWith("SetCollectorState 0 2").empty());
    // With Automatic on, nothing needs to be selected.
    f.params.SetAutomatic(true);
    f.cycle.Start();
    EXPECT_EQ(f.cycle.Status(), csCollecting);
    EXPECT_EQ(f.CallsStartingWith("SetCollectorState 0 2").size(), 2u);  // the change, then Start's own call
}

TEST(CollectionCycle, StartCollectsEveryParameterButTheExcludedOnes)
{
    TCycleFixture f;
    f.params.ExcludedParams().push_back(TParamAndIndexConnection(2, "SpO2"));
    f.params.RegisterParameter(1, "HR", "bpm", f.clock.Now());
    f.params.RegisterParameter(2, "SpO2", "%", f.clock.Now());
    f.cycle.SetStatus(csConnected);
    f.cycle.Start();
    EXPECT_TRUE(f.params.Parameters().Find(1)->Collected());
    EXPECT_FALSE(f.params.Parameters().Find(2)->Collected());
}

TEST(CollectionCycle, StopClosesTheCollectedSeriesOfTickedPresentPatients)
{
    TCycleFixture f;
    f.params.SetAutomatic(false);
    f.params.ExcludedParams().push_back(TParamAndIndexConnection(2, "SpO2"));
    f.params.RegisterParameter(1, "HR", "bpm", f.clock.Now());
    f.params.RegisterParameter(2, "SpO2", "%", f.clock.Now());
    f.params.RegisterParameter(3, "RR", "rpm", f.clock.Now());
    f.cycle.SetStatus(csConnected);
    f.cycle.Start();
    f.targets.rows = {{"1", "Ann", "Lee", true, true},
                      {"2", "Bob", "Ray", false, true},  // not ticked
                      {"3", "Cy", "Dee", true, false},   // not on the station
                      {"4", "Di", "Eve", true, true}};
    f.targets.lastWritten = At(12, 3, 0);
    f.cycle.Stop();
    EXPECT_EQ(f.cycle.Status(), csConnected);
    EXPECT_EQ(f.targets.opened, (std::vector<std::string>{"1|Ann Lee", "4|Di Eve"}));
    ASSERT_EQ(f.targets.delimiters.size(), 4u);
    EXPECT_EQ(f.targets.delimiters[0].label, "HR");
    EXPECT_EQ(f.targets.delimiters[0].unit, "bpm");
    EXPECT_EQ(f.targets.delimiters[1].label, "RR");
    EXPECT_EQ(f.targets.delimiters[3].patientID, "4");
    EXPECT_NEAR(f.targets.delimiters[0].time, At(12, 3, 1), kTolerance);
    ASSERT_EQ(f.autoObject.delimiterTimes.size(), 4u);
    EXPECT_NEAR(f.autoObject.delimiterTimes[0], At(12, 3, 1), kTolerance);
    EXPECT_EQ(f.CallsStartingWith("AddDelimiter"),
              (std::vector<std::string>{"AddDelimiter HR bpm", "AddDelimiter RR rpm", "AddDelimiter HR bpm",
                                        "AddDelimiter RR rpm"}));
    EXPECT_EQ(f.cycle.DelimitersWritten(), 4);
}

// A label the full parameter table did not take still has a series in the file: it is closed like a collected
// parameter's, unless excluded; a registered parameter keeps the collected rule.
TEST(CollectionCycle, StopClosesTheSeriesOfLabelsTheParameterTableDidNotTake)
{
    const struct {
        bool automatic;
        std::vector<std::string> closed;
    } cases[] = {
        {false, {"HR", "Invented", "Other"}},
        {true, {"HR", "SpO2", "Invented", "Excluded", "Other"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.automatic);
        TCycleFixture f;
        f.params.SetAutomatic(c.automatic);
        f.params.ExcludedParams().push_back(TParamAndIndexConnection(2, "SpO2"));
        f.params.ExcludedParams().push_back(TParamAndIndexConnection(9, "Excluded"));
        f.params.RegisterParameter(1, "HR", "bpm", f.clock.Now());
        f.params.RegisterParameter(2, "SpO2", "%", f.clock.Now());
        f.cycle.SetStatus(csConnected);
        f.cycle.Start();
        f.targets.rows = {{"1", "Ann", "Lee", true, true}};
        f.targets.unclosed = {{"HR", "bpm"}, {"SpO2", "%"}, {"Invented", "u"}, {"Excluded", "u"}, {"Other", ""}};
        f.targets.lastWritten = At(12, 3, 0);
        f.cycle.Stop();
        std::vector<std::string> closed;
        for (const test::TDelimiterCall& d : f.targets.delimiters) closed.push_back(d.label);
        EXPECT_EQ(closed, c.closed);
        EXPECT_EQ(f.CallsStartingWith("AddDelimiter").size(), c.closed.size());
    }
}

TEST(CollectionCycle, StopBeforeAnyValueWasWrittenWritesNoDelimiter)
{
    TCycleFixture f;
    f.Connected();
    f.cycle.Start();
    f.targets.rows = {{"1", "Ann", "Lee", true, true}};
    f.cycle.Stop();
    EXPECT_TRUE(f.targets.opened.empty());
    EXPECT_TRUE(f.targets.delimiters.empty());
    EXPECT_TRUE(f.CallsStartingWith("AddDelimiter").empty());
    EXPECT_EQ(f.cycle.Status(), csConnected);
}

TEST(CollectionCycle, StopDelimitersGoOnPastAFailingPatient)
{
    TCycleFixture f;
    f.params.SetAutomatic(true);  // every parameter, collected flag or not
    f.params.RegisterParameter(1, "HR", "bpm", f.clock.Now());
    f.params.RegisterParameter(3, "RR", "rpm", f.clock.Now());
    f.targets.rows = {{"1", "Ann", "Lee", true, true}, {"2", "Bob", "Ray", true, true}, {"3", "Cy", "Dee", true, true}};
    f.targets.unopenable = {"2"};
    f.targets.failingPatient = "1";
    f.targets.failingLabel = "HR";
    f.targets.lastWritten = At(12, 3, 0);
    f.cycle.WriteStopDelimiters();
    EXPECT_EQ(f.targets.opened.size(), 3u);
    // Patient 1 loses its remaining series after the failure, patient 2 has no file, patient 3 gets both.
    ASSERT_EQ(f.targets.delimiters.size(), 2u);
    EXPECT_EQ(f.targets.delimiters[0].patientID, "3");
    EXPECT_EQ(f.targets.delimiters[1].label, "RR");
}

TEST(CollectionCycle, LosingTheConnectionWhileCollectingClosesTheSeriesOnce)
{
    struct TCase {
        const char* how;
        std::function<void(TCycleFixture&)> lose;
    };
    const TCase cases[] = {
        // The tick that finds the loss holds the re-entrancy flag.
        {"the tick's connection-loss check",
         [](TCycleFixture& f) {
             f.clock.AdvanceSeconds(16);
             f.cycle.Tick();
         }},
        // So does the read whose header has another version.
        {"a read",
         [](TCycleFixture& f) {
             TCollectionCycle::TBusyGuard read(f.cycle);
             f.cycle.SetStatus(csNotConnected);
         }},
        {"outside the tick and the reads", [](TCycleFixture& f) { f.cycle.SetStatus(csConnectionLost); }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.how);
        TCycleFixture f;
        f.Connected();
        f.cycle.Start();
        f.targets.rows = {
            {"1", "Ann", "Lee", true, true}, {"2", "Bob", "Ray", false, true}, {"3", "Cy", "Dee", true, false}};
        f.targets.lastWritten = At(12, 0, 5);
        c.lose(f);
        EXPECT_TRUE(IsDisconnected(f.cycle.Status()));
        // Written while the rows still said who was collected, then the rows are disabled.
        EXPECT_EQ(f.targets.opened, (std::vector<std::string>{"1|Ann Lee"}));
        ASSERT_EQ(f.targets.delimiters.size(), 1u);
        EXPECT_NEAR(f.targets.delimiters[0].time, At(12, 0, 6), kTolerance);
        EXPECT_EQ(f.CallsStartingWith("AddDelimiter"), (std::vector<std::string>{"AddDelimiter HR bpm"}));
        EXPECT_FALSE(f.targets.rows[0].enabled);
        EXPECT_FALSE(f.cycle.Busy());

        // Nothing more: the end of the run, the window shown again, another fall.
        f.cycle.WriteStopDelimiters();
        f.cycle.ReapplyStatus();
        f.cycle.SetStatus(csNotConnected);
        EXPECT_EQ(f.targets.delimiters.size(), 1u);
        EXPECT_EQ(f.cycle.DelimitersWritten(), 1);
    }
    // Without collection there is nothing open to close.
    TCycleFixture g;
    g.Connected();
    g.targets.rows = {{"1", "Ann", "Lee", true, true}};
    g.targets.lastWritten = At(12, 0, 5);
    g.cycle.SetStatus(csNotConnected);
    EXPECT_TRUE(g.targets.opened.empty());
    EXPECT_FALSE(g.targets.rows[0].enabled);
}

TEST(CollectionCycle, ADelimiterWriteIsNeverEnteredTwice)
{
    TCycleFixture f;
    f.Connected();
    f.params.RegisterParameter(2, "SpO2", "%", f.clock.Now());
    f.cycle.Start();
    f.targets.rows = {{"1", "Ann", "Lee", true, true}};
    f.targets.lastWritten = At(12, 0, 5);
    // A dialog pumping messages during the write: the connection is found lost, a tick and a Stop arrive.
    f.targets.onAppendDelimiter = [&] {
        f.cycle.SetStatus(csConnectionLost);
        f.clock.AdvanceSeconds(30);
        f.cycle.Tick();
        f.cycle.WriteStopDelimiters();
    };
    f.cycle.Stop();
    ASSERT_EQ(f.targets.delimiters.size(), 2u);
    EXPECT_EQ(f.targets.delimiters[0].label, "HR");
    EXPECT_EQ(f.targets.delimiters[1].label, "SpO2");
    EXPECT_EQ(f.CallsStartingWith("AddDelimiter").size(), 2u);
    EXPECT_TRUE(f.view.countdown.empty());  // the tick did nothing
    EXPECT_FALSE(f.cycle.Busy());
}

TEST(CollectionCycle, TheDataManagerIsToldOfTheDelimitersWrittenAtTheirTimes)
{
    TCycleFixture f;
    f.Connected();
    f.params.RegisterParameter(2, "SpO2", "%", f.clock.Now());
    f.params.RegisterParameter(3, "RR", "rpm", f.clock.Now());
    f.cycle.Start();
    f.targets.rows = {{"1", "Ann", "Lee", true, true}};
    f.targets.lastWritten = At(12, 0, 5);
    f.targets.seriesLatest = 4 * kOneSecond;  // the series' own points end after the last written time
    f.targets.closed = {"SpO2"};              // nothing to close there
    f.cycle.Stop();
    EXPECT_EQ(f.CallsStartingWith("AddDelimiter"),
              (std::vector<std::string>{"AddDelimiter HR bpm", "AddDelimiter RR rpm"}));
    ASSERT_EQ(f.autoObject.delimiterTimes.size(), 2u);
    for (double time : f.autoObject.delimiterTimes) EXPECT_NEAR(time, At(12, 0, 10), kTolerance);
    EXPECT_EQ(f.cycle.DelimitersWritten(), 2);
}

TEST(CollectionCycle, UntickingClosesThatPatientsSeriesWhileCollecting)
{
    struct TCase {
        const char* when;
        TCollectStatus status;
        bool busy;
        bool written;
    };
    const TCase cases[] = {
        {"collecting", csCollecting, false, true},
        {"after Stop", csConnected, false, false},
        {"after the connection was lost", csConnectionLost, false, false},
        {"inside a read", csCollecting, true, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.when);
        TCycleFixture f;
        f.Connected();
        f.cycle.Start();
        f.targets.rows = {{"1", "Ann", "Lee", true, true}, {"2", "Bob", "Ray", false, true}};
        f.targets.lastWritten = At(12, 0, 5);
        if (c.status == csConnected) f.cycle.Stop();
        if (c.status == csConnectionLost) f.cycle.SetStatus(csConnectionLost);
        f.targets.opened.clear();
        f.targets.delimiters.clear();
        if (c.busy) {
            TCollectionCycle::TBusyGuard read(f.cycle);
            f.cycle.WritePatientStopDelimiters("2", "Bob", "Ray");
        } else {
            f.cycle.WritePatientStopDelimiters("2", "Bob", "Ray");
        }
        EXPECT_EQ(f.targets.opened, c.written ? std::vector<std::string>{"2|Bob Ray"} : std::vector<std::string>{});
        EXPECT_EQ(f.targets.delimiters.size(), c.written ? 1u : 0u);
    }
}

TEST(CollectionCycle, NothingRunsInsideAnother)
{
    TCycleFixture f;
    f.Connected();
    f.cycle.Start();
    f.targets.rows = {{"1", "Ann", "Lee", true, true}};
    f.targets.lastWritten = At(12, 0, 5);
    {
        TCollectionCycle::TBusyGuard read(f.cycle);  // a socket read in progress
        ASSERT_TRUE(read);
        f.clock.Set(At(12, 0, 11));
        f.cycle.Tick();
        f.cycle.WriteStopDelimiters();
        EXPECT_TRUE(f.view.countdown.empty());
        EXPECT_NEAR(f.cycle.Interval().NextBoundary(), At(12, 0, 10, 250), kTolerance);
        EXPECT_TRUE(f.targets.delimiters.empty());
        TCollectionCycle::TBusyGuard inner(f.cycle);
        EXPECT_FALSE(inner);
    }
    EXPECT_FALSE(f.cycle.Busy());
    f.cycle.Tick();
    EXPECT_NEAR(f.cycle.Interval().NextBoundary(), At(12, 0, 20, 250), kTolerance);
}

TEST(CollectionCycle, TheFlagIsClearedWhenTheTickFails)
{
    TCycleFixture f;
    f.targets.censusFails = true;
    f.clock.AdvanceSeconds(3601);
    EXPECT_THROW(f.cycle.Tick(), std::runtime_error);
    EXPECT_FALSE(f.cycle.Busy());
}

TEST(CollectionCycle, AutoStartFiresOnceAfterTheFirstObservation)
{
    TCycleFixture f;
    f.cycle.Settings().autoStart = true;
    f.cycle.Settings().autoHide = true;
    f.Connected();
    f.centralStation.open = true;
    f.cycle.Tick();
    EXPECT_EQ(f.cycle.Status(), csConnected);  // no observation yet
    EXPECT_TRUE(f.view.parametersEnabled);
    f.cycle.SetObservationsSeen();
    f.cycle.Tick();
    EXPECT_EQ(f.cycle.Status(), csCollecting);
    EXPECT_EQ(f.view.hides, 1);
    EXPECT_FALSE(f.cycle.Settings().autoStart);
    f.cycle.Stop();
    f.cycle.Tick();
    EXPECT_EQ(f.cycle.Status(), csConnected);
}

TEST(CollectionCycle, SilenceLongerThanTheTimeoutLosesTheConnectionWhateverTheSocketState)
{
    // A station that stays connected but sends nothing, or a connect that never completes, is lost as a
    // closed connection is: status 2 falls to 3 (its series closed), status 1 to 0.
    struct TCase {
        const char* socket;
        bool open;
        bool connecting;
    };
    const TCase cases[] = {{"closed", false, false}, {"connecting", false, true}, {"open", true, false}};
    for (const auto& c : cases) {
        for (const bool collecting : {false, true}) {
            SCOPED_TRACE(std::string(c.socket) + (collecting ? ", collecting" : ", connected"));
            TCycleFixture f;
            f.Connected();
            if (collecting) f.cycle.Start();
            f.centralStation.open = c.open;
            f.centralStation.connecting = c.connecting;
            f.clock.AdvanceSeconds(5);
            f.cycle.DataReceived();
            f.cycle.CompleteMessageReceived();
            // Silent for 15 s is still inside the timeout; 16 s is not.
            f.clock.AdvanceSeconds(15);
            f.cycle.Tick();
            EXPECT_EQ(f.cycle.Status(), collecting ? csCollecting : csConnected);
            f.clock.AdvanceSeconds(1);
            f.cycle.Tick();
            EXPECT_EQ(f.cycle.Status(), collecting ? csConnectionLost : csNotConnected);
        }
    }
}

TEST(CollectionCycle, APendingConnectIsGivenTheTimeoutBeforeItIsRetried)
{
    TCycleFixture f;
    f.cycle.Tick();  // closed: connect
    ASSERT_EQ(f.centralStation.opens.size(), 1u);
    ASSERT_TRUE(f.centralStation.connecting);
    // A slow connect (a peer that drops the connection request) is not aborted by the next ticks.
    for (int i = 0; i < 14; ++i) {
        f.clock.AdvanceSeconds(1);
        f.cycle.Tick();
    }
    EXPECT_EQ(f.centralStation.opens.size(), 1u);
    f.clock.AdvanceSeconds(2);  // 16 s since the connect began
    f.cycle.Tick();
    EXPECT_EQ(f.centralStation.opens.size(), 2u);
    // A connect that failed leaves the socket closed: the next tick tries again.
    f.centralStation.connecting = false;
    f.clock.AdvanceSeconds(1);
    f.cycle.Tick();
    EXPECT_EQ(f.centralStation.opens.size(), 3u);
}

TEST(CollectionCycle, RelayedMessagesAloneKeepTheStatus)
{
    TCycleFixture f;
    f.settings.WriteRegBool("DataSourceIsCentralStation", false);
    f.Connected();
    f.cycle.Start();
    for (int i = 0; i < 60; ++i) {
        f.clock.AdvanceSeconds(5);
        f.cycle.CompleteMessageReceived();
        f.cycle.Tick();
    }
    EXPECT_EQ(f.cycle.Status(), csCollecting);
    EXPECT_TRUE(f.centralStation.opens.empty());  // the central-station socket stays closed
    f.clock.AdvanceSeconds(16);
    f.cycle.Tick();
    EXPECT_EQ(f.cycle.Status(), csConnectionLost);
}

TEST(CollectionCycle, ABoundaryLeftBehindByAnOutageMovesAheadOfTheClockInOneStep)
{
    struct TCase {
        TDateTime back;  // when collecting resumes and the tick comes
        TDateTime next;  // the next boundary after that tick
        bool cleared;
    };
    const TCase cases[] = {
        {At(12, 0, 9), At(12, 0, 10, 250), false},       // the boundary is still ahead
        {At(12, 0, 10, 248), At(12, 0, 20, 250), true},  // reached
        {At(12, 0, 31), At(12, 0, 40, 250), true},       // two intervals missed
        {At(12, 1, 17, 500), At(12, 1, 20, 250), true},  // seventy seconds
        {At(12, 1, 20, 250), At(12, 1, 30, 250), true},  // just on a boundary of the grid
        {At(13, 0, 0), At(13, 0, 0, 250), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(FormatIsoMilliseconds(c.back));
        TCycleFixture f;
        f.centralStation.open = true;
        f.Connected();
        f.cycle.Start();  // first boundary 12:00:10.250
        f.cycle.SetStatus(csConnectionLost);
        f.clock.Set(c.back);
        f.cycle.Tick();  // status 3: the boundary stays
        EXPECT_NEAR(f.cycle.Interval().NextBoundary(), At(12, 0, 10, 250), kTolerance);
        f.cycle.SetStatus(csCollecting);
        f.cycle.IsNotYetSaved("1", "A B");  // marked before the outage
        f.cycle.Tick();
        EXPECT_NEAR(f.cycle.Interval().NextBoundary(), c.next, kTolerance);
        EXPECT_EQ(f.cycle.IsNotYetSaved("1", "A B"), c.cleared);
        if (!c.cleared) continue;
        EXPECT_NEAR(f.cycle.Interval().PreviousBoundary(), c.next - 10 * kOneSecond, kTolerance);
        EXPECT_EQ(f.view.countdown, "0:00:00");
        // The marks were cleared once: a patient written after the catch-up stays marked until the next boundary.
        f.cycle.MarkSaved("1", "A B", true);
        f.clock.Set((c.back + c.next) / 2);
        f.cycle.Tick();
        EXPECT_FALSE(f.cycle.IsNotYetSaved("1", "A B"));
        f.clock.Set(c.next);
        f.cycle.Tick();
        EXPECT_TRUE(f.cycle.IsNotYetSaved("1", "A B"));
        EXPECT_NEAR(f.cycle.Interval().NextBoundary(), c.next + 10 * kOneSecond, kTolerance);
    }
}

TEST(CollectionCycle, CountdownAndTrayHint)
{
    TCycleFixture f;
    f.Connected();
    f.centralStation.open = true;
    f.cycle.Start();
    f.clock.Set(At(12, 0, 8));
    f.cycle.Tick();
    EXPECT_EQ(f.view.countdown, "0:00:02");
    const int sets = f.view.countdownSets;
    f.clock.Set(At(12, 0, 8, 100));
    f.cycle.Tick();
    EXPECT_EQ(f.view.countdownSets, sets);  // the same text is not set again
    f.clock.Set(At(12, 0, 10, 300));
    f.cycle.Tick();
    EXPECT_EQ(f.view.trayHint, "Collecting Central Station Data ( 12:00:10)");
    // With the central station's own pace the label shows the last complete message.
    f.cycle.Settings().useHalcyraSettings = true;
    f.cycle.CompleteMessageReceived();
    f.cycle.Tick();
    EXPECT_EQ(f.view.countdown, "Central Station Settings " + DateTimeToStr(f.clock.Now()));
}

TEST(CollectionCycle, TrayIconErrorsWhileCollectingAreLogged)
{
    TCycleFixture f;
    f.Connected();
    f.centralStation.open = true;
    f.cycle.Start();
    f.view.trayVisible = false;
    f.view.trayFails = true;
    f.cycle.Tick();
    ASSERT_FALSE(f.logLines.empty());
    EXPECT_NE(f.logLines.back().find("IconVisible:= True -> Exception: Could not Add Icon"), std::string::npos);
}

TEST(CollectionCycle, TheCensusIsSavedHourly)
{
    TCycleFixture f;
    f.centralStation.open = true;
    const TDateTime start = f.clock.Now();
    f.clock.Set(start + kOneHour);
    f.cycle.Tick();
    EXPECT_TRUE(f.targets.censusSaves.empty());
    f.clock.Set(start + kOneHour + kOneSecond);
    f.cycle.Tick();
    EXPECT_EQ(f.targets.censusSaves.size(), 1u);
    // An hour is an hour of the monotonic clock: a wall clock set on two hours is no hour passed.
    f.clock.StepWall(2 * kOneHour);
    f.cycle.Tick();
    EXPECT_EQ(f.targets.censusSaves.size(), 1u);
}

TEST(CollectionCycle, MessagesChangesToTheCensusAreSavedOncePerTickAndOnStop)
{
    TCycleFixture f;
    f.centralStation.open = true;
    f.Connected();
    f.cycle.Tick();
    EXPECT_TRUE(f.targets.censusSaves.empty()) << "nothing changed";
    f.targets.censusChanged = true;  // however many messages changed it
    f.clock.AdvanceSeconds(1);
    f.cycle.Tick();
    EXPECT_EQ(f.targets.censusSaves.size(), 1u);
    f.clock.AdvanceSeconds(1);
    f.cycle.Tick();
    EXPECT_EQ(f.targets.censusSaves.size(), 1u);

    f.cycle.Start();
    f.cycle.Stop();
    EXPECT_EQ(f.targets.censusSaves.size(), 1u) << "Stop saves only a changed census";
    f.targets.censusChanged = true;
    f.cycle.Stop();
    EXPECT_EQ(f.targets.censusSaves.size(), 2u);
}

TEST(CollectionCycle, AReadHoldNeverReachesPastTheNextBoundaryAndItsMessagesDoNotCrossIt)
{
    TCycleFixture f;
    f.centralStation.open = true;
    f.Connected();
    EXPECT_EQ(f.cycle.ReadHoldSeconds(), kReadHoldSeconds) << "not collecting: no boundary to keep";
    f.cycle.Start();  // at 12:00:07.250, first boundary 12:00:10.250
    struct TCase {
        int millisecond;  // after 12:00:10
        double hold;
    };
    for (const TCase& c : {TCase{100, kReadHoldSeconds}, TCase{200, 0.05}, TCase{250, 0.0}, TCase{400, 0.0}}) {
        f.clock.Set(At(12, 0, 10, c.millisecond));
        EXPECT_NEAR(f.cycle.ReadHoldSeconds(), c.hold, 1e-6) << c.millisecond;
    }
    // The boundary is reached: a held message leaves it alone, the next one crosses it.
    const TDateTime boundary = f.cycle.Interval().NextBoundary();
    f.cycle.SetHeldMessages(true);
    f.cycle.CrossReachedBoundary();
    EXPECT_EQ(f.cycle.Interval().NextBoundary(), boundary);
    f.cycle.SetHeldMessages(false);
    f.cycle.CrossReachedBoundary();
    EXPECT_GT(f.cycle.Interval().NextBoundary(), boundary);
}

TEST(CollectionCycle, TheCentralStationIsReconnectedWhenClosedOrSilent)
{
    TCycleFixture f;
    f.settings.WriteRegBool("IsAddress", true);
    f.settings.WriteRegString("IPString", "127.0.0.1");
    f.cycle.Tick();  // closed
    ASSERT_EQ(f.centralStation.opens.size(), 1u);
    EXPECT_EQ(f.centralStation.opens[0].addressOrHost, "127.0.0.1");
    EXPECT_TRUE(f.centralStation.opens[0].isAddress);
    EXPECT_EQ(f.centralStation.opens[0].port, 8000);
    EXPECT_FALSE(f.view.noNetwork);
    f.centralStation.open = true;
    f.clock.AdvanceSeconds(15);
    f.cycle.DataReceived();
    f.clock.AdvanceSeconds(15);
    f.cycle.Tick();
    EXPECT_EQ(f.centralStation.opens.size(), 1u);
    f.clock.AdvanceSeconds(1);  // silent for longer than the timeout
    f.cycle.Tick();
    EXPECT_EQ(f.centralStation.opens.size(), 2u);
    EXPECT_NEAR(f.cycle.LastReceivedData(), f.clock.Monotonic(), kTolerance);
}

class TFakeRelay final : public IRelaySupervision {
public:
    TMonotonic LastRelaySend() const override { return lastSend; }
    void SendLifeTick() override
    {
        ++lifeTicks;
        lastSend = clock->Monotonic();
    }
    bool ClientConnected() const override { return connected; }
    TMonotonic LastLifeTickReceived() const override { return lastReceived; }
    void CloseClient() override { connected = false; }

    const IClock* clock = nullptr;
    TMonotonic lastSend = 0;
    int lifeTicks = 0;
    bool connected = false;
    TMonotonic lastReceived = 0;
};

TEST(CollectionCycle, AnotherInstanceAsSourceIsRetriedEveryEleventhTick)
{
    TCycleFixture f;
    TFakeRelay relay;
    relay.clock = &f.clock;
    test::TFakeClientSocket relaySocket;
    f.cycle.SetRelay(&relay);
    f.cycle.SetRelayClientSocket(&relaySocket);
    f.settings.WriteRegBool("DataSourceIsCentralStation", false);
    f.settings.WriteRegString("IPString", "standby-host");
    relay.lastSend = f.clock.Monotonic();
    for (int i = 0; i < 10; ++i) f.cycle.Tick();
    EXPECT_TRUE(relaySocket.opens.empty());
    EXPECT_TRUE(f.view.noNetwork);
    f.cycle.Tick();
    ASSERT_EQ(relaySocket.opens.size(), 1u);
    EXPECT_EQ(relaySocket.opens[0].port, 13999);
    EXPECT_EQ(relaySocket.opens[0].addressOrHost, "standby-host");
    EXPECT_EQ(f.centralStation.closes, 1);
    EXPECT_TRUE(f.centralStation.opens.empty());
    for (int i = 0; i < 11; ++i) f.cycle.Tick();
    EXPECT_EQ(relaySocket.opens.size(), 2u);
    // A connected client whose life ticks stopped more than 126 s ago is dropped with a warning.
    EXPECT_EQ(relay.lifeTicks, 0);
    relay.connected = true;
    relay.lastReceived = f.clock.Monotonic();
    f.clock.AdvanceSeconds(126);
    f.cycle.CompleteMessageReceived();
    f.cycle.Tick();
    EXPECT_TRUE(relay.connected);
    EXPECT_FALSE(f.view.noNetwork);
    f.clock.AdvanceSeconds(1);
    f.cycle.Tick();
    EXPECT_FALSE(relay.connected);
    EXPECT_EQ(f.view.warning, "Expected lifetick is missing");
    EXPECT_TRUE(f.view.noNetwork);
    // The life tick goes out after more than a minute without sending.
    EXPECT_EQ(relay.lifeTicks, 1);
}

TEST(CollectionCycle, ANewIntervalSetsTheNextBoundaryFromThePreviousOne)
{
    TCycleFixture f;
    f.cycle.FirstShow(30);
    f.Connected();
    f.clock.Set(At(12, 0, 7, 250));
    f.cycle.Start();
    f.clock.Set(At(12, 0, 31));
    f.cycle.Tick();  // next 12:01:00.250, previous 12:00:30.250
    f.cycle.CollectIntervalChanged(60);
    EXPECT_NEAR(f.cycle.Interval().NextBoundary(), At(12, 1, 30, 250), kTolerance);
    EXPECT_EQ(f.cycle.CentralStationTimeout(), 90);
}

}  // namespace
}  // namespace halcyra
