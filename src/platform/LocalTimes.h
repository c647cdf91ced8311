// The local time zone's rules as the collection meets them: at the start of summer time an hour of local
// times does not exist, at its end an hour exists twice. The zone's offset changes on minute boundaries,
// so what the C library says of one minute holds for all of it; the last minute asked is kept, which makes
// the common case (many readings within one minute) cost a comparison.
#pragma once

#include "platform/DateTime.h"

#include <cstdint>
#include <string>

namespace halcyra {

// Seconds since 1970-01-01 00:00 UTC: one instant, whatever the zone says.
using TUnixSeconds = double;

class TLocalTimes {
public:
    // The local time of the instant.
    TDateTime LocalOf(TUnixSeconds instant);
    // The instants that show this local time, earliest first: one, two in the hour repeated at the end of
    // summer time, none in the hour skipped at its start. Gives how many.
    int InstantsOf(TDateTime local, TUnixSeconds out[2]);
    // The local time itself when it exists, else the first local time after it that does (the end of the
    // skipped hour: 02:00:00 on the day summer time starts in central Europe gives 03:00:00).
    TDateTime Existing(TDateTime local);
    // The local time as ISO 8601 with its offset from UTC ("2026-12-11T10:02:10+01:00"). In the hour that
    // repeats at the end of summer time the earlier instant's offset is given; a time in the skipped hour,
    // which no clock showed, gets the offset before the change.
    std::string FormatIsoWithOffset(TDateTime local);

private:
    struct TMinute {
        std::int64_t key = INT64_MIN;
        int count = 0;
        std::int64_t offsets[2] = {0, 0};  // local minus UTC, seconds, of the instants that show the minute
    };
    const TMinute& LocalMinute(std::int64_t minute);
    std::int64_t OffsetAt(std::int64_t unixSeconds);

    TMinute local_;
    std::int64_t utcMinute_ = INT64_MIN;
    std::int64_t utcOffset_ = 0;
};

}  // namespace halcyra
