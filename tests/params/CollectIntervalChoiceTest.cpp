#include "params/CollectIntervalChoice.h"

#include <gtest/gtest.h>

namespace halcyra {
namespace {

TEST(CollectIntervalChoiceTest, AnIntervalOpensAsItIsAndAnEditSnapsToHalfMinutes)
{
    struct TCase {
        std::int32_t interval;
        TIntervalParts shown;
    };
    const TCase cases[] = {
        {10, {0, 0, 10}},     // the default, between the half-minute steps
        {30, {0, 0, 30}},     //
        {90, {0, 1, 30}},     //
        {600, {0, 10, 0}},    //
        {7170, {1, 59, 30}},  // the largest settable interval
        {7200, {2, 0, 0}},    // beyond the hour field's range
        {59, {0, 0, 59}},     //
        {90061, {25, 1, 1}},  // more than a day is not folded into it
        {-5, {0, 0, 0}},      //
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.interval);
        const TIntervalParts parts = SplitInterval(c.interval);
        EXPECT_EQ(parts.hours, c.shown.hours);
        EXPECT_EQ(parts.minutes, c.shown.minutes);
        EXPECT_EQ(parts.seconds, c.shown.seconds);
        if (c.interval >= 0) {
            EXPECT_EQ(parts.TotalSeconds(), c.interval);
        }
    }
    EXPECT_EQ(SnapSeconds(0), 0);
    EXPECT_EQ(SnapSeconds(1), 0);  // below 2 seconds is 0
    EXPECT_EQ(SnapSeconds(2), 30);
    EXPECT_EQ(SnapSeconds(10), 30);
    EXPECT_EQ(SnapSeconds(59), 30);
}

TEST(CollectIntervalChoiceTest, TheShortestIntervalIsTwiceTheMedianFilterValue)
{
    EXPECT_EQ(AcceptedInterval({0, 0, 30}, 15), 30);
    EXPECT_EQ(AcceptedInterval({0, 0, 0}, 15), std::nullopt);
    EXPECT_EQ(AcceptedInterval({0, 0, 30}, 20), std::nullopt);
    EXPECT_EQ(AcceptedInterval({0, 1, 0}, 20), 60);
    EXPECT_EQ(AcceptedInterval({1, 59, 30}, 15), 7170);
    EXPECT_EQ(ShortestInterval(15), 30);
}

TEST(CollectIntervalChoiceTest, TheTimeoutIsOneAndAHalfIntervals)
{
    EXPECT_EQ(CentralStationTimeoutFor(30), 45);
    EXPECT_EQ(CentralStationTimeoutFor(0), 0);
    EXPECT_EQ(CentralStationTimeoutFor(7170), 10755);
    EXPECT_EQ(CentralStationTimeoutFor(1), 2);  // 1.5 rounds to the even 2
}

}  // namespace
}  // namespace halcyra
