#include "platform/DateTime.h"
#include "support/TimeZone.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

namespace halcyra {
namespace {

struct TEncodeCase {
    TDateTimeParts parts;
    double expected;
};

TEST(DateTime, EncodesKnownDays)
{
    const TEncodeCase cases[] = {
        {{1899, 12, 30, 0, 0, 0, 0}, 0.0},
        {{1900, 1, 1, 0, 0, 0, 0}, 2.0},
        {{1899, 12, 29, 6, 0, 0, 0}, -1.25},
        {{2000, 1, 1, 12, 0, 0, 0}, 36526.5},
        {{2024, 1, 31, 23, 59, 59, 0}, 45322.0 + 86399.0 / 86400.0},
        {{2024, 2, 29, 0, 0, 0, 0}, 45351.0},
    };
    for (const auto& c : cases) {
        TDateTime value = -99;
        ASSERT_TRUE(TryEncodeDateTime(c.parts, value)) << c.parts.year;
        EXPECT_NEAR(value, c.expected, 1e-9) << c.parts.year << "-" << c.parts.month << "-" << c.parts.day;
        const TDateTimeParts back = DecodeDateTime(value);
        EXPECT_EQ(back.year, c.parts.year);
        EXPECT_EQ(back.month, c.parts.month);
        EXPECT_EQ(back.day, c.parts.day);
        EXPECT_EQ(back.hour, c.parts.hour);
        EXPECT_EQ(back.second, c.parts.second);
    }
}

TEST(DateTime, RejectsImpossibleFields)
{
    const TDateTimeParts bad[] = {
        {2023, 2, 29, 0, 0, 0, 0}, {2024, 13, 1, 0, 0, 0, 0}, {2024, 4, 31, 0, 0, 0, 0},
        {2024, 1, 1, 24, 0, 0, 0}, {2024, 1, 1, 0, 60, 0, 0}, {0, 1, 1, 0, 0, 0, 0},
    };
    for (const auto& p : bad) {
        TDateTime value = 7;
        EXPECT_FALSE(TryEncodeDateTime(p, value));
        EXPECT_EQ(value, 7);
    }
}

TEST(DateTime, DecodeCarriesRoundedMillisecondsIntoTheNextDay)
{
    const TDateTimeParts p = DecodeDateTime(45322.0 + 0.99999999999);
    EXPECT_EQ(p.day, 1);
    EXPECT_EQ(p.month, 2);
    EXPECT_EQ(p.hour, 0);
    EXPECT_EQ(p.millisecond, 0);
}

TEST(DateTime, FormatsTheSystemForms)
{
    const TDateTime t = EncodeDateTime(2024, 1, 31, 7, 5, 9, 42);
    EXPECT_EQ(FormatCompactStamp(t), "20240131070509");
    EXPECT_EQ(FormatShortClock(t), "7:05:09");
    EXPECT_EQ(FormatIsoSeconds(t), "2024-01-31T07:05:09");
    EXPECT_EQ(FormatIsoMilliseconds(t), "2024-01-31T07:05:09.042");
    EXPECT_EQ(DateTimeToStr(t), "2024-01-31 07:05:09");
    EXPECT_EQ(DateTimeToStr(EncodeDateTime(2024, 1, 31)), "2024-01-31");
    EXPECT_EQ(DateTimeToStr(t, {"dd/mm/yyyy", "h:nn"}), "31/01/2024 7:05");
}

TEST(DateTime, ParsesIsoTextAndRefusesTheRest)
{
    TDateTime t = 0;
    ASSERT_TRUE(ParseIsoDateTime("2024-01-31T23:59:59", t));
    EXPECT_EQ(FormatIsoSeconds(t), "2024-01-31T23:59:59");
    ASSERT_TRUE(ParseIsoDateTime("2024-01-31 23:59:59.5", t));
    EXPECT_EQ(FormatIsoMilliseconds(t), "2024-01-31T23:59:59.500");
    for (const char* bad : {"", "2024-01-31", "2024-02-30T00:00:00", "2024-01-31T23:59:59.", "2024-01-31T23:59:59x",
                            "2024-01-31T23:59:59.1234"})
        EXPECT_FALSE(ParseIsoDateTime(bad, t)) << bad;
}

TEST(DateTime, UnixTimeRoundTripsInLocalTime)
{
    const TDateTime t = EncodeDateTime(2024, 7, 15, 13, 30, 0);
    EXPECT_NEAR(FromUnixTime(ToUnixTime(t)), t, kOneMillisecond);
}

TEST(DateTime, UtcCalendarTimeIsCountedFromTheUnixEpochInAnyZone)
{
    const test::TScopedTimeZone zone("Pacific/Kiritimati");  // +14:00: a local reading would be far off
    const std::pair<TDateTimeParts, std::int64_t> cases[] = {
        {{1970, 1, 1, 0, 0, 0, 0}, 0},
        {{1969, 12, 31, 23, 59, 59, 0}, -1},
        {{2026, 1, 1, 0, 0, 0, 999}, 1767225600},  // milliseconds are not counted
        {{2024, 2, 29, 12, 34, 56, 0}, 1709210096},
        {{1899, 12, 30, 0, 0, 0, 0}, -2209161600},
        {{1, 1, 1, 0, 0, 0, 0}, -62135596800},
        {{9999, 12, 31, 23, 59, 59, 0}, 253402300799},
    };
    for (const auto& [utc, seconds] : cases) EXPECT_EQ(UnixTimeFromUtc(utc), seconds) << utc.year << "-" << utc.month;
}

TEST(DateTime, TheLocalTimeOfAnInstantOnlyWithinTheYearsItHolds)
{
    const test::TScopedTimeZone zone("UTC");
    TDateTime local = -1;
    ASSERT_TRUE(TryFromUnixTime(0, 250, local));
    EXPECT_EQ(local, EncodeDateTime(1970, 1, 1, 0, 0, 0, 250));
    ASSERT_TRUE(TryFromUnixTime(-62135596800, 0, local));
    EXPECT_EQ(local, EncodeDateTime(1, 1, 1));
    for (const std::time_t outside : {std::time_t{-62135596801}, std::time_t{253402300800}}) {
        local = -1;
        EXPECT_FALSE(TryFromUnixTime(outside, 0, local)) << outside;
        EXPECT_EQ(local, -1) << outside;
    }
}

TEST(DateTime, RoundsHalvesToTheEvenNeighbour)
{
    const std::pair<double, std::int64_t> cases[] = {{0.5, 0},  {1.5, 2},   {2.5, 2},    {15.0, 15}, {14.5, 14},
                                                     {-0.5, 0}, {-1.5, -2}, {2.4999, 2}, {2.5001, 3}};
    for (const auto& [in, out] : cases) EXPECT_EQ(RoundHalfEven(in), out) << in;
}

}  // namespace
}  // namespace halcyra
