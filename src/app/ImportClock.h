// The import's simulated clock: an instant that the import moves on, shown as the local time of the
// machine's zone. Its monotonic reading is the instant itself, which never goes back, while the local time
// repeats an hour at the end of summer time and skips one at its start, as a live clock's does.
#pragma once

#include "platform/Clock.h"
#include "platform/LocalTimes.h"

namespace halcyra {

class TImportClock final : public IClock {
public:
    explicit TImportClock(TUnixSeconds start = 0) : instant_(start) {}
    TDateTime Now() const override { return localTimes_.LocalOf(instant_); }
    TMonotonic Monotonic() const override { return instant_; }
    TUnixSeconds Instant() const { return instant_; }
    void Set(TUnixSeconds instant) { instant_ = instant; }

private:
    TUnixSeconds instant_;
    mutable TLocalTimes localTimes_;
};

}  // namespace halcyra
