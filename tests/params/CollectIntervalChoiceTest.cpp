#include "params/CollectIntervalChoice.h"

#include <gtest/gtest.h>

namespace halcyra {
namespace {

TEST(CollectIntervalChoiceTest, AnIntervalOpensAsHoursMinutesAndHalfMinutes)
{
    struct TCase {
        std::int32_t interval;
        TIntervalParts shown;  // after the seconds are snapped
    };
    const TCase cases[] = {
        {10, {0, 0, 30}},     // the default: any seconds but 0 show as 30
        {1, {0, 0, 0}},       // below 2 seconds shows as 0
        {30, {0, 0, 30}},     //
        {90, {0, 1, 30}},     //
        {600, {0, 10, 0}},    //
        {7170, {1, 59, 30}},  // the largest settable interval
        {7200, {1, 0, 0}},    // two hours clip to the one-hour field
        {59, {0, 0, 30}},     // 59 seconds clip to the field's 30
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.interval);
        TIntervalParts parts = SplitInterval(c.interval);
        parts.seconds = SnapSeconds(parts.seconds);
        EXPECT_EQ(parts.hours, c.shown.hours);
        EXPECT_EQ(parts.minutes, c.shown.minutes);
        EXPECT_EQ(parts.seconds, c.shown.seconds);
    }
    EXPECT_EQ((TIntervalParts{1, 59, 30}).TotalSeconds(), 7170);
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
