#include "platform/LocalTimes.h"

#include "support/TimeZone.h"

#include <gtest/gtest.h>

#include <string>

namespace halcyra {
namespace {

// 2026 in central Europe: summer time from 29 March 01:00 UTC (02:00 CET becomes 03:00 CEST) to 25 October
// 01:00 UTC (03:00 CEST becomes 02:00 CET).
constexpr TUnixSeconds kSpringChange = 1774746000;
constexpr TUnixSeconds kAutumnChange = 1792890000;

TEST(LocalTimes, BothChangesOfSummerTimeInCentralEurope)
{
    const test::TScopedTimeZone zone("Europe/Berlin");
    TLocalTimes times;
    struct TCase {
        const char* name;
        TDateTime local;
        int count;
        TUnixSeconds first;
        TUnixSeconds second;
        TDateTime existing;
    };
    const TCase cases[] = {
        {"before spring", EncodeDateTime(2026, 3, 29, 1, 59, 59), 1, kSpringChange - 1, 0,
         EncodeDateTime(2026, 3, 29, 1, 59, 59)},
        {"skipped", EncodeDateTime(2026, 3, 29, 2, 0, 0), 0, 0, 0, EncodeDateTime(2026, 3, 29, 3, 0, 0)},
        {"skipped, late", EncodeDateTime(2026, 3, 29, 2, 59, 50), 0, 0, 0, EncodeDateTime(2026, 3, 29, 3, 0, 0)},
        {"after spring", EncodeDateTime(2026, 3, 29, 3, 0, 0), 1, kSpringChange, 0,
         EncodeDateTime(2026, 3, 29, 3, 0, 0)},
        {"before the repeated hour", EncodeDateTime(2026, 10, 25, 1, 59, 59), 1, kAutumnChange - 3601, 0,
         EncodeDateTime(2026, 10, 25, 1, 59, 59)},
        {"repeated", EncodeDateTime(2026, 10, 25, 2, 30, 0), 2, kAutumnChange - 1800, kAutumnChange + 1800,
         EncodeDateTime(2026, 10, 25, 2, 30, 0)},
        {"after the repeated hour", EncodeDateTime(2026, 10, 25, 3, 0, 0), 1, kAutumnChange + 3600, 0,
         EncodeDateTime(2026, 10, 25, 3, 0, 0)},
        {"a plain summer day, with milliseconds", EncodeDateTime(2026, 7, 1, 12, 0, 0, 250), 1, 1782900000.25, 0,
         EncodeDateTime(2026, 7, 1, 12, 0, 0, 250)},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TUnixSeconds instants[2] = {};
        ASSERT_EQ(times.InstantsOf(c.local, instants), c.count);
        const TUnixSeconds expected[2] = {c.first, c.second};
        for (int i = 0; i < c.count; ++i) EXPECT_DOUBLE_EQ(instants[i], expected[i]);
        for (int i = 0; i < c.count; ++i) EXPECT_DOUBLE_EQ(times.LocalOf(instants[i]), c.local);
        EXPECT_DOUBLE_EQ(times.Existing(c.local), c.existing);
    }
    // Across the changes, instant by instant: the hour repeated, the hour skipped.
    EXPECT_DOUBLE_EQ(times.LocalOf(kAutumnChange - 1), EncodeDateTime(2026, 10, 25, 2, 59, 59));
    EXPECT_DOUBLE_EQ(times.LocalOf(kAutumnChange), EncodeDateTime(2026, 10, 25, 2, 0, 0));
    EXPECT_DOUBLE_EQ(times.LocalOf(kSpringChange - 1), EncodeDateTime(2026, 3, 29, 1, 59, 59));
    EXPECT_DOUBLE_EQ(times.LocalOf(kSpringChange), EncodeDateTime(2026, 3, 29, 3, 0, 0));
}

TEST(LocalTimes, IsoTimesCarryTheirOffsetFromUtc)
{
    struct TCase {
        const char* zone;
        TDateTime local;
        const char* expected;
    };
    const TCase cases[] = {
        {"Europe/Berlin", EncodeDateTime(2026, 12, 11, 10, 2, 10), "2026-12-11T10:02:10+01:00"},
        {"Europe/Berlin", EncodeDateTime(2026, 7, 1, 12, 0, 0), "2026-07-01T12:00:00+02:00"},
        // The repeated hour names its first reading; the skipped one the offset no clock left yet.
        {"Europe/Berlin", EncodeDateTime(2026, 10, 25, 2, 30, 0), "2026-10-25T02:30:00+02:00"},
        {"Europe/Berlin", EncodeDateTime(2026, 3, 29, 2, 30, 0), "2026-03-29T02:30:00+01:00"},
        // West of Greenwich, half an hour off.
        {"America/St_Johns", EncodeDateTime(2026, 12, 11, 8, 0, 0), "2026-12-11T08:00:00-03:30"},
        {"UTC", EncodeDateTime(2026, 12, 11, 8, 0, 0), "2026-12-11T08:00:00+00:00"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.zone) + " " + c.expected);
        const test::TScopedTimeZone zone(c.zone);
        TLocalTimes times;
        EXPECT_EQ(times.FormatIsoWithOffset(c.local), c.expected);
    }
}

TEST(LocalTimes, AZoneWithoutSummerTimeHasOneInstantForEveryTime)
{
    const test::TScopedTimeZone zone("UTC");
    TLocalTimes times;
    TUnixSeconds instants[2] = {};
    ASSERT_EQ(times.InstantsOf(EncodeDateTime(2026, 10, 25, 2, 30, 0), instants), 1);
    EXPECT_DOUBLE_EQ(instants[0], kAutumnChange + 5400);
    EXPECT_DOUBLE_EQ(times.Existing(EncodeDateTime(2026, 3, 29, 2, 0, 0)), EncodeDateTime(2026, 3, 29, 2, 0, 0));
}

}  // namespace
}  // namespace halcyra
