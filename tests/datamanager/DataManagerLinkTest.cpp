// The link's rules: when no object may be created, that calls go out without waiting and in order, which
// failures end the link, how a full backlog and a late answer count, and that a data manager that comes
// back is told the state and to read the files again.
#include "datamanager/DataManagerLink.h"
#include "support/RecordingDataManager.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace halcyra {
namespace {

using test::TRecordingDataManager;

// Every kind of call the run makes, once.
void MakeEveryCall(TDataManagerLink& link)
{
    link.NotifyDataChanged();
    link.AddValue("123456", "HR", "bpm", 45000.5, 72);
    link.AddDelimiter("HR", "bpm", 45000.6);
    link.StartCollecting();
    link.CollectStatusChanged(1);
}

struct TLinkFixture {
    TLinkFixture()
    {
        link.SetLogger([this](const std::string& line) { log.push_back(line); });
    }
    TManualClock clock{EncodeDateTime(2024, 5, 6, 10, 2, 13)};
    TRecordingDataManager dataManager;
    TDataManagerLink link{clock};
    std::vector<std::string> log;
};

TEST(DataManagerLink, NoVelgardInAnyCaseOrSettingCreatesNothingAndCallsNothing)
{
    struct TCase {
        const char* argument;
        bool noVelgard;
    };
    for (const TCase& c : {TCase{"NOVELGARD", false}, TCase{"novelgard", false}, TCase{"NoVelgard", false},
                           TCase{"", true}, TCase{"whatever", true}}) {
        SCOPED_TRACE(c.argument);
        TLinkFixture f;
        EXPECT_EQ(f.link.CreateDataManagerLink(f.dataManager, c.argument, c.noVelgard),
                  TDataManagerLinkResult::Disabled);
        MakeEveryCall(f.link);
        f.dataManager.Return();
        EXPECT_EQ(f.dataManager.creations, 0);
        EXPECT_TRUE(f.dataManager.calls.empty());
        EXPECT_FALSE(f.link.LinkEnabled());
        EXPECT_FALSE(f.link.State().used);
    }
}

TEST(DataManagerLink, CallsGoOutInOrderWithFixedSourceAndReservedAndTheFirstStateAsksForARead)
{
    for (const char* argument : {"", "NOVELGARDX", "--service", "NOVELGAR"}) {
        SCOPED_TRACE(argument);
        TLinkFixture f;
        ASSERT_EQ(f.link.CreateDataManagerLink(f.dataManager, argument, false), TDataManagerLinkResult::Created);
        EXPECT_TRUE(f.link.LinkEnabled());
        MakeEveryCall(f.link);
        // A previous run may have written values it could not tell: the first state is followed by a read.
        EXPECT_EQ(f.dataManager.calls, (std::vector<std::string>{
                                           "NotifyDataChanged",
                                           "AddValue 123456 HR bpm " + FormatIsoMilliseconds(45000.5) + " 72",
                                           "AddDelimiter HR bpm",
                                           "SetCollectorState 0 2",
                                           "NotifyDataChanged",
                                           "SetCollectorState 0 1",
                                       }));
        EXPECT_EQ(f.dataManager.delimiterTimes, std::vector<double>{45000.6});
        const TDataManagerState state = f.link.State();
        EXPECT_TRUE(state.used && state.connected);
        EXPECT_EQ(state.since, f.clock.Now());
        EXPECT_EQ(state.backlog, 0);
    }
}

TEST(DataManagerLink, UnavailableDataManagerFailsStartUpAndLeavesTheLinkOff)
{
    TLinkFixture f;
    f.dataManager.available = false;
    EXPECT_EQ(f.link.CreateDataManagerLink(f.dataManager, "", false), TDataManagerLinkResult::Failed);
    EXPECT_FALSE(f.link.LinkEnabled());
    MakeEveryCall(f.link);
    EXPECT_TRUE(f.dataManager.calls.empty());
    ASSERT_EQ(f.log.size(), 1u);
    EXPECT_NE(f.log[0].find("not running"), std::string::npos);
}

// Nothing waits for an answer: the calls are sent, and their answers, good or bad, come later.
TEST(DataManagerLink, WhichFailuresEndTheLinkAndHowTheyAreShown)
{
    struct TCase {
        const char* name;
        std::function<bool(TDataManagerLink&)> call;
        const char* cause;  // the error answer; empty: the answer never comes
        bool late;
        bool endsLink;
    };
    const auto value = [](TDataManagerLink& l) { return l.AddValue("1", "HR", "bpm", 1, 2); };
    const auto statusChange = [](TDataManagerLink& l) { return l.CollectStatusChanged(0); };
    const std::vector<TCase> cases = {
        {"NotifyDataChanged refused", [](TDataManagerLink& l) { return l.NotifyDataChanged(); }, "refused", false,
         true},
        {"AddValue refused", value, "refused", false, true},
        {"AddDelimiter refused", [](TDataManagerLink& l) { return l.AddDelimiter("HR", "bpm", 1); }, "refused", false,
         true},
        {"start refused", [](TDataManagerLink& l) { return l.StartCollecting(); }, "refused", false, true},
        {"status change refused", statusChange, "refused", false, false},
        {"status change late", statusChange, "NoReply: no answer", true, true},
        {"AddValue late", value, "NoReply: no answer", true, true},
        {"AddValue unanswered for 5 s", value, "", false, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TLinkFixture f;
        ASSERT_EQ(f.link.CreateDataManagerLink(f.dataManager, "", false), TDataManagerLinkResult::Created);
        f.link.CollectStatusChanged(1);
        f.dataManager.holdAnswers = true;
        EXPECT_TRUE(c.call(f.link));
        EXPECT_EQ(f.link.State().backlog, 1);
        if (*c.cause != '\0') {
            f.dataManager.Answer(1, c.cause, c.late);
        } else {
            f.clock.AdvanceSeconds(4.9);
            f.link.Tick();
            EXPECT_TRUE(f.link.LinkEnabled());
            f.clock.AdvanceSeconds(0.2);
            f.link.Tick();
        }
        const TDataManagerState state = f.link.State();
        EXPECT_EQ(state.connected, !c.endsLink);
        EXPECT_EQ(state.callsFailed, 1);
        EXPECT_EQ(state.backlog, 0);
        ASSERT_EQ(f.log.size(), 1u);
        if (c.endsLink) {
            EXPECT_EQ(f.log[0].rfind("Error: the data manager link is lost: ", 0), 0u) << f.log[0];
            EXPECT_EQ(state.lastError, *c.cause != '\0' ? c.cause : "no answer from the data manager within 5 s");
            EXPECT_EQ(state.since, f.clock.Now());
        }
        const std::size_t before = f.dataManager.calls.size();
        MakeEveryCall(f.link);
        // A lost link makes no further call; a kept one makes all of them.
        EXPECT_EQ(f.dataManager.calls.size() - before, c.endsLink ? 0u : 5u);
    }
}

TEST(DataManagerLink, AFullBacklogEndsTheLinkAndAnswersInTimeKeepIt)
{
    TLinkFixture f;
    ASSERT_EQ(f.link.CreateDataManagerLink(f.dataManager, "", false), TDataManagerLinkResult::Created);
    f.dataManager.holdAnswers = true;
    for (std::size_t i = 0; i < kMaxCallsAwaitingAnswer; ++i) ASSERT_TRUE(f.link.AddValue("1", "HR", "bpm", 1, 2));
    // Answers that come within the limit, however many await theirs, keep the link.
    f.clock.AdvanceSeconds(4);
    f.dataManager.Answer(1);
    f.link.Tick();
    EXPECT_EQ(f.link.State().backlog, static_cast<std::int64_t>(kMaxCallsAwaitingAnswer) - 1);
    ASSERT_TRUE(f.link.AddValue("1", "HR", "bpm", 1, 2));
    EXPECT_FALSE(f.link.AddValue("1", "HR", "bpm", 1, 2));
    const TDataManagerState state = f.link.State();
    EXPECT_FALSE(state.connected);
    EXPECT_EQ(state.lastError, "the data manager fell 10000 calls behind");
    EXPECT_EQ(f.dataManager.calls.size(), kMaxCallsAwaitingAnswer + 1);
}

TEST(DataManagerLink, ADataManagerThatComesBackIsToldTheStateAndToReadTheFiles)
{
    TLinkFixture f;
    ASSERT_EQ(f.link.CreateDataManagerLink(f.dataManager, "", false), TDataManagerLinkResult::Created);
    f.link.StartCollecting();
    f.dataManager.holdAnswers = true;
    f.link.AddValue("1", "HR", "bpm", 1, 2);
    f.dataManager.Leave();
    EXPECT_FALSE(f.link.LinkEnabled());
    EXPECT_EQ(f.link.State().lastError, "the data manager left the D-Bus session bus");
    // Changes while it is away are kept for its return, not sent.
    f.link.CollectStatusChanged(3);
    f.link.CollectStatusChanged(1);
    f.link.AddValue("1", "HR", "bpm", 1, 3);
    f.dataManager.calls.clear();

    f.clock.AdvanceSeconds(60);
    f.dataManager.holdAnswers = false;
    f.dataManager.Return();
    EXPECT_EQ(f.dataManager.creations, 2);
    const TDataManagerState state = f.link.State();
    EXPECT_TRUE(state.connected);
    EXPECT_EQ(state.since, f.clock.Now());
    EXPECT_EQ(state.callsFailed, 0);
    EXPECT_EQ(state.backlog, 0);
    f.link.AddValue("1", "HR", "bpm", 1, 4);
    EXPECT_EQ(f.dataManager.calls, (std::vector<std::string>{"SetCollectorState 0 1", "NotifyDataChanged",
                                                             "AddValue 1 HR bpm 1899-12-31T00:00:00.000 4"}));
    ASSERT_EQ(f.log.size(), 2u);
    EXPECT_NE(f.log[1].find("back"), std::string::npos);

    // A running data manager that refuses stays cut off until it starts again.
    f.dataManager.refusing = "AddValue";
    EXPECT_TRUE(f.link.AddValue("1", "HR", "bpm", 1, 5));
    EXPECT_FALSE(f.link.LinkEnabled());
    f.clock.AdvanceSeconds(60);
    f.link.Tick();
    EXPECT_FALSE(f.link.LinkEnabled());
    EXPECT_EQ(f.dataManager.creations, 2);
}

TEST(DataManagerLink, ARunThatMayWaitKeepsItsBacklogSmallAndTheEndWaitsForAnswers)
{
    TLinkFixture f;
    ASSERT_EQ(f.link.CreateDataManagerLink(f.dataManager, "", false), TDataManagerLinkResult::Created);
    f.dataManager.holdAnswers = true;
    f.dataManager.answerOnWait = true;
    f.link.SetMayWait(true);
    std::int64_t largest = 0;
    for (int i = 0; i < 3000; ++i) {
        ASSERT_TRUE(f.link.AddValue("1", "HR", "bpm", 1, i));
        largest = std::max(largest, f.link.State().backlog);
    }
    EXPECT_EQ(largest, static_cast<std::int64_t>(kPacedCallsAwaitingAnswer));
    EXPECT_TRUE(f.link.LinkEnabled());
    EXPECT_TRUE(f.link.AwaitOutstanding(3));
    EXPECT_EQ(f.link.State().backlog, 0);

    // Answers that never come end the wait, even on a clock that stands still.
    f.dataManager.answerOnWait = false;
    f.link.AddValue("1", "HR", "bpm", 1, 1);
    EXPECT_FALSE(f.link.AwaitOutstanding(3));
    EXPECT_EQ(f.link.State().backlog, 1);
}

}  // namespace
}  // namespace halcyra
