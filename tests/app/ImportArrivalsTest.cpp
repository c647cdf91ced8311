#include "app/ImportArrivals.h"

#include <gtest/gtest.h>

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

TEST(ImportArrivals, EachMessageArrivesAtItsObservationTimeNeverEarlierThanTheOneBefore)
{
    TCapturedStream stream;
    for (const char* obr : {"", "garbage", "20240506120005", "20240506120003", "-", "20240506120009", "20240506120009"})
        stream.messages.push_back(WithObr(obr));
    stream.messages[4].segments.pop_back();  // no OBR at all
    const auto arrivals = ArrivalTimes(stream, 0);
    const TDateTime expected[] = {At(0, 5), At(0, 5), At(0, 5), At(0, 5), At(0, 5), At(0, 9), At(0, 9)};
    ASSERT_EQ(arrivals.size(), 7u);
    for (std::size_t i = 0; i < arrivals.size(); ++i) EXPECT_DOUBLE_EQ(arrivals[i], expected[i]) << i;
}

TEST(ImportArrivals, WithoutAnyReadableTimeEveryMessageArrivesAtTheFallback)
{
    TCapturedStream stream;
    stream.messages.push_back(WithObr("x"));
    stream.messages.push_back(WithObr("2024"));
    const auto arrivals = ArrivalTimes(stream, At(3, 0));
    EXPECT_EQ(arrivals, (std::vector<TDateTime>{At(3, 0), At(3, 0)}));
}

TEST(ImportArrivals, FramedAsTheCentralStationSendsIt)
{
    EXPECT_EQ(FrameMessage({"MSH|a", "PID|b"}), "\x0BMSH|a\rPID|b\r\x1C\r");
    EXPECT_EQ(SplitCapturedStream(FrameMessage({"MSH|a", "PID|b"})).messages.at(0).segments,
              (TSegmentList{"MSH|a", "PID|b"}));
}

}  // namespace
}  // namespace halcyra
