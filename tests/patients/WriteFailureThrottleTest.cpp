// Write failures grouped by cause: each cause has its own lines, and one whose patients left clears too.
#include "patients/WriteFailureThrottle.h"

#include <gtest/gtest.h>

namespace halcyra {
namespace {

TEST(WriteFailureThrottle, TheCauseIsTheSystemsReasonAtTheEndOfTheText)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Cannot write /d/P1/Halcyra.pil: Read-only file system", "Read-only file system"},
        {"it cannot be opened (Cannot write /d/P2/Halcyra.pil: No space left on device)", "No space left on device"},
        {"no file could be opened", "no file could be opened"},
    };
    for (const auto& [what, cause] : cases) EXPECT_EQ(FailureCause(what), cause) << what;
}

TEST(WriteFailureThrottle, EachCauseHasItsOwnLinesAndOneWhosePatientsLeftClearsAMinuteAfterItsLastFailure)
{
    TWriteFailureThrottle throttle;
    ASSERT_TRUE(throttle.Failed("Read-only file system", "P1", "P1 failed", 0));
    ASSERT_TRUE(throttle.Failed("No space left on device", "P2", "P2 failed", 0));
    EXPECT_FALSE(throttle.Failed("Read-only file system", "P3", "P3 failed", 30));
    // P2 writes again; P1 and P3 are still struck, and P3 failed less than a minute ago.
    const auto cleared = throttle.Written("P2", 40);
    ASSERT_EQ(cleared.size(), 1u);
    EXPECT_EQ(cleared[0].text,
              "Values are written again (No space left on device cleared): 1 write of 1 patient was lost in 40 s");
    EXPECT_TRUE(throttle.Written("P4", 80).empty());
    // P1 and P3 left: the next write of anyone ends the cause they left behind.
    const auto stale = throttle.Written("P4", 91);
    ASSERT_EQ(stale.size(), 1u);
    EXPECT_EQ(stale[0].text,
              "Values are written again (Read-only file system cleared): 2 writes of 2 patients were lost in 91 s");
    // Gone for good: the cause starts anew with its first line.
    const auto again = throttle.Failed("Read-only file system", "P1", "P1 failed", 100);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->text, "P1 failed (further failures of this cause are counted once a minute)");
}

}  // namespace
}  // namespace halcyra
