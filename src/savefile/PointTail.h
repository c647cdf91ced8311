// The last point records of a monitor-data file, read backwards from its end: what a writer needs to
// know of the points already in a file without reading the whole of it.
#pragma once

#include "platform/DateTime.h"
#include "savefile/Streams.h"

#include <cstdint>
#include <functional>

namespace halcyra {

// A value or delimiter record as this system appends them.
struct TPointRecord {
    std::int32_t id = 0;  // item::kValuePoint or item::kDelimiterPoint
    std::uint16_t index = 0;
    TDateTime time = 0;
};

// How a backward walk over the point records ended.
enum class TPointTailEnd {
    Start,       // every record was visited, back to the first
    Stopped,     // the visitor asked to stop
    Limit,       // the byte limit was reached before the first record
    Unreadable,  // the records are not all value or delimiter records of the fixed size: nothing is known
};

// Visits the point records behind `recordsStart` from the last whole one backwards, reading at most
// `maxBytes` of them, until the visitor returns false. Records are taken as laid end to end in the fixed
// size of value and delimiter records; a record cut short at the end is left out. Meeting any other
// record ends the walk as Unreadable (another producer's records have other sizes, so where the records
// before it begin is not known); what was visited until then must be discarded.
TPointTailEnd VisitPointsBackwards(TStream& file, std::int64_t recordsStart, std::int64_t maxBytes,
                                   const std::function<bool(const TPointRecord& record)>& visit);

}  // namespace halcyra
