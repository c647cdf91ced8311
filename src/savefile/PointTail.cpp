#include "savefile/PointTail.h"

#include "savefile/SaveFileIds.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace halcyra {
namespace {

// Records read per step: a file's last points usually lie in its last few hundred bytes.
constexpr std::int64_t kRecordsPerRead = 128;

}  // namespace

TPointTailEnd VisitPointsBackwards(TStream& file, std::int64_t recordsStart, std::int64_t maxBytes,
                                   const std::function<bool(const TPointRecord& record)>& visit)
{
    constexpr std::int64_t kSize = item::kPointRecordSize;
    const std::int64_t size = file.Size();
    if (recordsStart < 0 || recordsStart > size) return TPointTailEnd::Unreadable;
    std::int64_t end = recordsStart + (size - recordsStart) / kSize * kSize;
    std::int64_t budget = maxBytes / kSize;
    std::string block;
    while (end > recordsStart) {
        const std::int64_t count = std::min({(end - recordsStart) / kSize, kRecordsPerRead, budget});
        if (count <= 0) return TPointTailEnd::Limit;
        const std::int64_t begin = end - count * kSize;
        block.resize(static_cast<std::size_t>(count * kSize));
        file.Seek(begin);
        file.ReadBuffer(block.data(), block.size());
        for (std::int64_t k = count - 1; k >= 0; --k) {
            const auto* p = reinterpret_cast<const unsigned char*>(block.data()) + k * kSize;
            TPointRecord record;
            record.id = static_cast<std::int32_t>(LoadU32(p));
            const auto payload = static_cast<std::int32_t>(LoadU32(p + 4));
            if ((record.id != item::kValuePoint && record.id != item::kDelimiterPoint) ||
                payload != item::kPointPayloadSize)
                return TPointTailEnd::Unreadable;
            record.index = LoadU16(p + item::kPointIndexOffset);
            record.time = LoadF64(p + item::kPointTimeOffset);
            if (!visit(record)) return TPointTailEnd::Stopped;
        }
        budget -= count;
        end = begin;
    }
    return TPointTailEnd::Start;
}

}  // namespace halcyra
