// The collect interval and its grid: the boundaries at which a new interval begins, and the rounding of
// message times onto the grid.
#pragma once

#include "platform/DateTime.h"
#include "platform/LocalTimes.h"

#include <cstdint>

namespace halcyra {

inline constexpr std::int32_t kDefaultCollectInterval = 10;

class TCollectInterval {
public:
    // Seconds; a value of 0 or less counts as the default, so that no boundary or grid divides by zero.
    void SetSeconds(std::int32_t seconds) { seconds_ = seconds > 0 ? seconds : kDefaultCollectInterval; }
    std::int32_t Seconds() const { return seconds_; }
    // The central station's silence allowed before the connection counts as lost: 1.5 intervals, rounded
    // with halves to the even neighbour.
    std::int32_t CentralStationTimeout() const;

    TDateTime NextBoundary() const { return next_; }
    TDateTime PreviousBoundary() const { return previous_; }
    void SetNextBoundary(TDateTime value) { next_ = value; }
    void SetPreviousBoundary(TDateTime value) { previous_ = value; }

    // The boundary one interval after `base`. While the two stored boundaries are equal (as Start leaves
    // them) an interval that is a multiple of 5 seconds is aligned to the second-of-minute grid; the
    // fraction of a second of `base` stays. With `remember`, the previous boundary takes the value of the
    // next one (before the caller stores the result).
    TDateTime NextCollectTime(bool remember, TDateTime base);

    // The time rounded to the nearest multiple of the interval counted from midnight (halves to even). A
    // grid time the local clock skips (at the start of summer time) becomes the first one after the gap.
    TDateTime AlignToInterval(TDateTime t) const;

private:
    std::int32_t seconds_ = kDefaultCollectInterval;
    TDateTime next_ = 0;
    TDateTime previous_ = 0;
    mutable TLocalTimes localTimes_;
};

}  // namespace halcyra
