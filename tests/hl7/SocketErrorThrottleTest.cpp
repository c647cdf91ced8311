// A station that keeps refusing: its error in the log once, then once a minute as a count, and its end.
#include "hl7/SocketErrorThrottle.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace halcyra {
namespace {

using ::testing::ElementsAreArray;

const std::string kRefused = "Asynchronous socket error 10061 (127.0.0.1:8000: Connection refused)";
const std::string kTimedOut = "Asynchronous socket error 10060 (127.0.0.1:8000: Socket operation timed out)";
const std::string kOtherPeer = "Asynchronous socket error 10061 (10.0.0.2:8000: Connection refused)";

struct TStep {
    double seconds;  // since the previous step, on the monotonic clock
    int error;       // 0: a connection succeeds
    std::string peer;
    std::string text;
    std::vector<std::string> logged;  // "<priority>text"
};

std::vector<std::string> Tagged(const std::vector<TSocketErrorReport>& reports)
{
    std::vector<std::string> tagged;
    for (const TSocketErrorReport& r : reports)
        tagged.push_back("<" + std::to_string(static_cast<int>(r.priority)) + ">" + r.text);
    return tagged;
}

void Play(const std::vector<TStep>& steps)
{
    TManualClock clock;
    TSocketErrorThrottle throttle;
    double at = 0;
    for (const TStep& step : steps) {
        clock.AdvanceMonotonic(step.seconds);
        at += step.seconds;
        std::vector<TSocketErrorReport> reports;
        if (step.error == 0) {
            reports = throttle.Cleared(clock.Monotonic());
        } else if (auto report = throttle.Error(step.error, step.peer, step.text, clock.Monotonic())) {
            reports.push_back(*report);
        }
        EXPECT_THAT(Tagged(reports), ElementsAreArray(step.logged)) << "at " << at << " s: " << step.text;
    }
}

TEST(SocketErrorThrottle, OnceThenACountAMinuteThenItsEnd)
{
    const std::string local = "127.0.0.1:8000";
    std::vector<TStep> steps = {{0, 10061, local, kRefused, {"<3>" + kRefused}}};
    // One refusal a second: held back for a minute.
    for (int i = 1; i < 60; ++i) steps.push_back({1, 10061, local, kRefused, {}});
    steps.push_back({1, 10061, local, kRefused, {"<4>" + kRefused + " repeated 60 times in the last 60 s"}});
    // Another error, or the same error on another peer, is news at once, and is counted on its own.
    steps.push_back({1, 10060, local, kTimedOut, {"<3>" + kTimedOut}});
    steps.push_back({0, 10061, "10.0.0.2:8000", kOtherPeer, {"<3>" + kOtherPeer}});
    steps.push_back({1, 10061, local, kRefused, {}});
    steps.push_back({1, 10060, local, kTimedOut, {}});
    steps.push_back({55, 10061, local, kRefused, {}});
    steps.push_back({2, 10061, local, kRefused, {"<4>" + kRefused + " repeated 3 times in the last 60 s"}});
    // The connection succeeds: every error gets its last line, with all its occurrences.
    steps.push_back({5,
                     0,
                     "",
                     "",
                     {"<6>" + kRefused + " cleared after 64 errors in 2 min 5 s",
                      "<6>" + kTimedOut + " cleared after 2 errors in 64 s",
                      "<6>" + kOtherPeer + " cleared after 1 error in 64 s"}});
    steps.push_back({1, 0, "", "", {}});
    // After the success the same error is news again.
    steps.push_back({1, 10061, local, kRefused, {"<3>" + kRefused}});
    Play(steps);
}

TEST(SocketErrorThrottle, ErrorsMoreThanAMinuteApartAreEachLoggedAsErrors)
{
    const std::string local = "127.0.0.1:8000";
    Play({
        {0, 10061, local, kRefused, {"<3>" + kRefused}},
        {90, 10061, local, kRefused, {"<3>" + kRefused}},
        {3600, 10061, local, kRefused, {"<3>" + kRefused}},
        {30, 10061, local, kRefused, {}},
        {3 * 3600, 10061, local, kRefused, {"<4>" + kRefused + " repeated 2 times in the last 3 h 0 min"}},
        {0, 0, "", "", {"<6>" + kRefused + " cleared after 5 errors in 4 h 2 min"}},
    });
}

}  // namespace
}  // namespace halcyra
