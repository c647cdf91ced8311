// The link's rules: when no object may be created, which failures end the link, and that an ended link
// makes no further call.
#include "datamanager/DataManagerLink.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace halcyra {
namespace {

enum class TFailure { None, Refused, Timeout };

// Records what reached the data manager; a call named in `failures` fails the way given.
struct TRecorder {
    std::vector<std::string> calls;
    std::string failing;
    TFailure failure = TFailure::None;

    void Hit(const std::string& call, const std::string& method)
    {
        calls.push_back(call);
        if (method != failing) return;
        if (failure == TFailure::Refused) throw EDataManagerError(method + " refused");
        if (failure == TFailure::Timeout) throw EDataManagerTimeout(method + " not answered");
    }
};

class TFakeObject : public IQuarzelAutoObject {
public:
    explicit TFakeObject(TRecorder& recorder) : recorder_(recorder) {}
    void NotifyDataChanged() override { recorder_.Hit("NotifyDataChanged", "NotifyDataChanged"); }
    void SetCollectorState(std::int32_t source, std::int32_t state) override
    {
        recorder_.Hit("SetCollectorState " + std::to_string(source) + " " + std::to_string(state), "SetCollectorState");
    }
    void AddValue(std::string_view patientId, std::string_view label, std::string_view unit, double time,
                  double value) override
    {
        recorder_.Hit("AddValue " + std::string(patientId) + " " + std::string(label) + " " + std::string(unit) + " " +
                          std::to_string(time) + " " + std::to_string(value),
                      "AddValue");
    }
    void AddDelimiter(std::int32_t source, std::string_view label, std::string_view unit, double time,
                      std::int32_t reserved) override
    {
        recorder_.Hit("AddDelimiter " + std::to_string(source) + " " + std::string(label) + " " + std::string(unit) +
                          " " + std::to_string(time) + " " + std::to_string(reserved),
                      "AddDelimiter");
    }

private:
    TRecorder& recorder_;
};

class TFakeFactory : public IDataManagerLinkFactory {
public:
    explicit TFakeFactory(TRecorder& recorder) : recorder_(recorder) {}
    std::unique_ptr<IQuarzelAutoObject> Create() override
    {
        ++creations;
        if (unavailable) throw EDataManagerError("not registered");
        return std::make_unique<TFakeObject>(recorder_);
    }
    int creations = 0;
    bool unavailable = false;

private:
    TRecorder& recorder_;
};

// Every kind of call the run makes, once.
void MakeEveryCall(TDataManagerLink& link)
{
    link.NotifyDataChanged();
    link.AddValue("123456", "HR", "bpm", 45000.5, 72);
    link.AddDelimiter("HR", "bpm", 45000.6);
    link.StartCollecting();
    link.CollectStatusChanged(1);
}

TEST(DataManagerLink, NoVelgardInAnyCaseOrSettingCreatesNothingAndCallsNothing)
{
    struct TCase {
        const char* argument;
        bool noVelgard;
    };
    for (const TCase& c : {TCase{"NOVELGARD", false}, TCase{"novelgard", false}, TCase{"NoVelgard", false},
                           TCase{"", true}, TCase{"whatever", true}}) {
        SCOPED_TRACE(c.argument);
        TRecorder recorder;
        TFakeFactory factory(recorder);
        TDataManagerLink link;
        EXPECT_EQ(link.CreateDataManagerLink(factory, c.argument, c.noVelgard), TDataManagerLinkResult::Disabled);
        MakeEveryCall(link);
        EXPECT_EQ(factory.creations, 0);
        EXPECT_TRUE(recorder.calls.empty());
        EXPECT_FALSE(link.LinkEnabled());
    }
}

TEST(DataManagerLink, OtherArgumentsCreateTheObjectAndCallsGoThroughWithFixedSourceAndReserved)
{
    for (const char* argument : {"", "NOVELGARDX", "--service", "NOVELGAR"}) {
        SCOPED_TRACE(argument);
        TRecorder recorder;
        TFakeFactory factory(recorder);
        TDataManagerLink link;
        ASSERT_EQ(link.CreateDataManagerLink(factory, argument, false), TDataManagerLinkResult::Created);
        EXPECT_TRUE(link.LinkEnabled());
        MakeEveryCall(link);
        EXPECT_EQ(recorder.calls, (std::vector<std::string>{
                                      "NotifyDataChanged",
                                      "AddValue 123456 HR bpm 45000.500000 72.000000",
                                      "AddDelimiter 0 HR bpm 45000.600000 0",
                                      "SetCollectorState 0 2",
                                      "SetCollectorState 0 1",
                                  }));
        EXPECT_TRUE(link.LinkEnabled());
    }
}

TEST(DataManagerLink, UnavailableDataManagerFailsStartUpAndLeavesTheLinkOff)
{
    TRecorder recorder;
    TFakeFactory factory(recorder);
    factory.unavailable = true;
    std::vector<std::string> log;
    TDataManagerLink link;
    link.SetLogger([&](const std::string& line) { log.push_back(line); });
    EXPECT_EQ(link.CreateDataManagerLink(factory, "", false), TDataManagerLinkResult::Failed);
    EXPECT_FALSE(link.LinkEnabled());
    EXPECT_FALSE(link.HasObject());
    MakeEveryCall(link);
    EXPECT_TRUE(recorder.calls.empty());
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("not registered"), std::string::npos);
}

TEST(DataManagerLink, WhichFailuresEndTheLink)
{
    struct TCase {
        const char* name;
        std::function<bool(TDataManagerLink&)> call;
        const char* method;
        TFailure failure;
        bool endsLink;
    };
    const std::vector<TCase> cases = {
        {"NotifyDataChanged refused", [](TDataManagerLink& l) { return l.NotifyDataChanged(); }, "NotifyDataChanged",
         TFailure::Refused, true},
        {"AddValue refused", [](TDataManagerLink& l) { return l.AddValue("1", "HR", "bpm", 1, 2); }, "AddValue",
         TFailure::Refused, true},
        {"AddDelimiter refused", [](TDataManagerLink& l) { return l.AddDelimiter("HR", "bpm", 1); }, "AddDelimiter",
         TFailure::Refused, true},
        {"Start refused", [](TDataManagerLink& l) { return l.StartCollecting(); }, "SetCollectorState",
         TFailure::Refused, true},
        {"status change refused", [](TDataManagerLink& l) { return l.CollectStatusChanged(2); }, "SetCollectorState",
         TFailure::Refused, false},
        // A data manager that does not answer would cost the wait on every later change.
        {"status change unanswered", [](TDataManagerLink& l) { return l.CollectStatusChanged(2); }, "SetCollectorState",
         TFailure::Timeout, true},
        {"AddValue unanswered", [](TDataManagerLink& l) { return l.AddValue("1", "HR", "bpm", 1, 2); }, "AddValue",
         TFailure::Timeout, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TRecorder recorder;
        recorder.failing = c.method;
        recorder.failure = c.failure;
        TFakeFactory factory(recorder);
        std::vector<std::string> log;
        TDataManagerLink link;
        link.SetLogger([&](const std::string& line) { log.push_back(line); });
        ASSERT_EQ(link.CreateDataManagerLink(factory, "", false), TDataManagerLinkResult::Created);

        EXPECT_FALSE(c.call(link));
        EXPECT_EQ(link.LinkEnabled(), !c.endsLink);
        EXPECT_EQ(log.size(), 1u);
        recorder.failing.clear();
        MakeEveryCall(link);
        // An ended link makes no further call; a kept one makes all of them.
        EXPECT_EQ(recorder.calls.size(), c.endsLink ? 1u : 6u);
    }
}

TEST(DataManagerLink, StatusChangesSendIdleOrCollecting)
{
    TRecorder recorder;
    TFakeFactory factory(recorder);
    TDataManagerLink link;
    ASSERT_EQ(link.CreateDataManagerLink(factory, "", false), TDataManagerLinkResult::Created);
    // The collection cycle reports a status only when it differs from the stored one.
    std::uint8_t stored = 0;
    for (std::uint8_t status : {0, 1, 2, 3, 0}) {
        if (status != stored) link.CollectStatusChanged(status);
        stored = status;
    }
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"SetCollectorState 0 1", "SetCollectorState 0 2",
                                                        "SetCollectorState 0 2", "SetCollectorState 0 1"}));
}

TEST(DataManagerLink, DisableStopsEveryCall)
{
    TRecorder recorder;
    TFakeFactory factory(recorder);
    TDataManagerLink link;
    ASSERT_EQ(link.CreateDataManagerLink(factory, "", false), TDataManagerLinkResult::Created);
    link.DisableDataManagerLink();
    MakeEveryCall(link);
    EXPECT_TRUE(recorder.calls.empty());
}

}  // namespace
}  // namespace halcyra
