#include "app/ImportArrivals.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace halcyra {
namespace {

TCapturedMessage WithObr(const std::string& obr7)
{
    TCapturedMessage m;
    m.segments = {"MSH|^~\\&|CS", "PID|1||1||A^B"};
    if (obr7 != "-") m.segments.push_back("OBR|1|||MON|||" + obr7);
    // Only the first OBR counts.
    m.segments.push_back("OBR|1|||MON|||20300101000000");
    return m;
}

TDateTime At(int minute, int second)
{
    return EncodeDateTime(2024, 5, 6, 12, minute, second);
}

// When the import runs.
const TDateTime kNow = EncodeDateTime(2026, 1, 2, 3, 4, 5);

TEST(ImportArrivals, EachMessageArrivesAtItsObservationTimeNeverEarlierThanTheOneBefore)
{
    TCapturedStream stream;
    for (const char* obr : {"", "garbage", "20240506120005", "20240506120003", "-", "20240506120009", "20240506120009"})
        stream.messages.push_back(WithObr(obr));
    stream.messages[4].segments.pop_back();  // no OBR at all
    const auto arrivals = ArrivalTimes(stream, kNow);
    const TDateTime expected[] = {At(0, 5), At(0, 5), At(0, 5), At(0, 5), At(0, 5), At(0, 9), At(0, 9)};
    ASSERT_EQ(arrivals.size(), 7u);
    for (std::size_t i = 0; i < arrivals.size(); ++i) EXPECT_DOUBLE_EQ(arrivals[i], expected[i]) << i;
}

// A stray stamp (far from the others: from the future, far in the past, or more than a day on without the
// next stamp going on from it) gives no arrival; its message arrives with the one before. A gap in the
// capture that the stamps go on from is kept.
TEST(ImportArrivals, StrayStampsArriveWithTheMessageBefore)
{
    struct TCase {
        std::string name;
        std::vector<std::string> obr7;
        std::vector<TDateTime> expected;
    };
    const TDateTime day = 1.0;
    const std::string far = "99991231235959";
    const TCase cases[] = {
        {"at the start", {far, "20240506120005", "20240506120009"}, {At(0, 5), At(0, 5), At(0, 9)}},
        {"repeated",
         {far, "20240506120005", far, far, "20240506120009"},
         {At(0, 5), At(0, 5), At(0, 5), At(0, 5), At(0, 9)}},
        {"year 1 at the start", {"00010101000000", "20240506120005", "20240506120009"}, {At(0, 5), At(0, 5), At(0, 9)}},
        {"two days ahead", {"20240506120005", "20240508120005", "20240506120009"}, {At(0, 5), At(0, 5), At(0, 9)}},
        {"at the end", {"20240506120005", "20240506120009", "18000101000000"}, {At(0, 5), At(0, 9), At(0, 9)}},
        {"a gap of two days",
         {"20240506120005", "20240506120009", "20240508120005", "20240508120009"},
         {At(0, 5), At(0, 9), At(0, 5) + 2 * day, At(0, 9) + 2 * day}},
        {"only lone stamps", {"20240506120005", "20240516120005"}, {At(0, 5), At(0, 5)}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TCapturedStream stream;
        for (const std::string& obr : c.obr7) stream.messages.push_back(WithObr(obr));
        EXPECT_EQ(ArrivalTimes(stream, kNow), c.expected);
    }
}

TEST(ImportArrivals, WithoutAnyReadableTimeEveryMessageArrivesAtTheFallback)
{
    TCapturedStream stream;
    stream.messages.push_back(WithObr("x"));
    stream.messages.push_back(WithObr("2024"));
    const auto arrivals = ArrivalTimes(stream, At(3, 0));
    EXPECT_EQ(arrivals, (std::vector<TDateTime>{At(3, 0), At(3, 0)}));
}

}  // namespace
}  // namespace halcyra
