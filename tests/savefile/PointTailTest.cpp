#include "savefile/PointTail.h"

#include "Bytes.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace halcyra {
namespace {

using test::TBytes;

constexpr std::int64_t kStart = 100;  // where the records begin, behind a header of no interest here
constexpr std::int64_t kRecord = 26;

struct TWalk {
    TPointTailEnd end;
    std::vector<std::string> seen;  // "V0@3": kind, series index, time
};

TWalk Walk(const TBytes& records, std::int64_t maxBytes, std::size_t stopAfter)
{
    TMemoryStream file(std::string(kStart, 'h') + records.Str());
    TWalk walk;
    walk.end = VisitPointsBackwards(file, kStart, maxBytes, [&](const TPointRecord& r) {
        walk.seen.push_back(std::string(r.id == 85 ? "D" : "V") + std::to_string(r.index) + "@" +
                            std::to_string(static_cast<int>(r.time)));
        return walk.seen.size() < stopAfter;
    });
    return walk;
}

TEST(PointTail, WalksTheRecordsFromTheLastBackwards)
{
    const TBytes three = TBytes().Record(220, 0, 1, 70).Record(85, 1, 2, 0).Record(220, 0, 3, 71);
    const std::vector<std::string> all = {"V0@3", "D1@2", "V0@1"};
    constexpr std::int64_t kAll = std::numeric_limits<std::int64_t>::max();
    constexpr std::size_t kNoStop = std::numeric_limits<std::size_t>::max();
    struct TCase {
        const char* what;
        TBytes records;
        std::int64_t maxBytes;
        std::size_t stopAfter;
        TPointTailEnd end;
        std::vector<std::string> seen;
    };
    const TCase cases[] = {
        {"no records", TBytes(), kAll, kNoStop, TPointTailEnd::Start, {}},
        {"every record", three, kAll, kNoStop, TPointTailEnd::Start, all},
        {"a record cut short at the end is left out",
         TBytes().Raw(TBytes(three).Record(220, 0, 4, 72).Str().substr(0, 90)), kAll, kNoStop, TPointTailEnd::Start,
         all},
        {"exactly as many bytes as the records", three, 3 * kRecord, kNoStop, TPointTailEnd::Start, all},
        {"fewer bytes than the records", three, 2 * kRecord + 25, kNoStop, TPointTailEnd::Limit, {"V0@3", "D1@2"}},
        {"the visitor stops", three, kAll, 1, TPointTailEnd::Stopped, {"V0@3"}},
        // An analyser record of another size in front: the fixed-size slots no longer meet record heads.
        {"a record of another size",
         TBytes().I32(221).I32(31).Zeros(31).Record(220, 0, 1, 70).Record(220, 0, 2, 71),
         kAll,
         kNoStop,
         TPointTailEnd::Unreadable,
         {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        const TWalk walk = Walk(c.records, c.maxBytes, c.stopAfter);
        EXPECT_EQ(walk.end, c.end);
        EXPECT_EQ(walk.seen, c.seen);
    }
}

TEST(PointTail, ReadsOnlyTheBytesItVisits)
{
    // A long file: the walk that stops at once reads one block from the end, not the file.
    TBytes records;
    for (int i = 0; i < 20000; ++i) records.Record(220, static_cast<std::uint16_t>(i % 3), i, 60);
    class TCountingStream final : public TMemoryStream {
    public:
        using TMemoryStream::TMemoryStream;
        void ReadBuffer(void* data, std::size_t count) override
        {
            read += static_cast<std::int64_t>(count);
            TMemoryStream::ReadBuffer(data, count);
        }
        std::int64_t read = 0;
    } file(std::string(kStart, 'h') + records.Str());
    std::vector<int> times;
    const TPointTailEnd end = VisitPointsBackwards(file, kStart, 1 << 20, [&](const TPointRecord& r) {
        times.push_back(static_cast<int>(r.time));
        return times.size() < 3;
    });
    EXPECT_EQ(end, TPointTailEnd::Stopped);
    EXPECT_EQ(times, (std::vector<int>{19999, 19998, 19997}));
    EXPECT_LE(file.read, 128 * kRecord);
    // A start behind the end of the file is no place for records.
    EXPECT_EQ(VisitPointsBackwards(file, file.Size() + 1, 1 << 20, [](const TPointRecord&) { return true; }),
              TPointTailEnd::Unreadable);
}

}  // namespace
}  // namespace halcyra
