// The clock is injected so that handlers can be driven in tests without waiting.
#pragma once

#include "platform/DateTime.h"

#include <ctime>

namespace halcyra {

// Seconds on a clock that never steps: a time server, a change of summer time or an administrator setting
// the wall clock does not move it. Every timeout and every "how long since" is measured on it.
using TMonotonic = double;

class IClock {
public:
    virtual ~IClock() = default;
    // The local wall-clock time: what is written and shown.
    virtual TDateTime Now() const = 0;
    // Seconds since some fixed moment of this run.
    virtual TMonotonic Monotonic() const = 0;
};

class TSystemClock final : public IClock {
public:
    TDateTime Now() const override { return NowLocal(); }
    // The boot-time clock: it never steps, and unlike the plain monotonic clock it goes on counting while
    // the machine sleeps, so a suspended PC wakes to timeouts that have passed.
    TMonotonic Monotonic() const override
    {
        timespec t{};
        clock_gettime(CLOCK_BOOTTIME, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    }
};

// A clock that only moves when told to. Set and Advance let time pass: both clocks move forward together
// (a Set into the past steps the wall clock back alone, as a time server would). StepWall moves the wall
// clock alone, both ways.
class TManualClock final : public IClock {
public:
    explicit TManualClock(TDateTime start = 0) : now_(start) {}
    TDateTime Now() const override { return now_; }
    TMonotonic Monotonic() const override { return monotonic_; }
    void Set(TDateTime value)
    {
        if (value > now_) monotonic_ += (value - now_) * 86400.0;
        now_ = value;
    }
    void Advance(TDateTime days) { Set(now_ + days); }
    void AdvanceSeconds(double seconds) { Set(now_ + seconds * kOneSecond); }
    void StepWall(TDateTime days) { now_ += days; }
    void StepWallSeconds(double seconds) { now_ += seconds * kOneSecond; }
    // Time passes on the monotonic clock alone (a wall clock that stands still or was set back meanwhile).
    void AdvanceMonotonic(double seconds) { monotonic_ += seconds; }

private:
    TDateTime now_;
    TMonotonic monotonic_ = 1000.0;
};

}  // namespace halcyra
