// The clock is injected so that handlers can be driven in tests without waiting.
#pragma once

#include "platform/DateTime.h"

namespace halcyra {

class IClock {
public:
    virtual ~IClock() = default;
    virtual TDateTime Now() const = 0;
};

class TSystemClock final : public IClock {
public:
    TDateTime Now() const override { return NowLocal(); }
};

// A clock that only moves when told to.
class TManualClock final : public IClock {
public:
    explicit TManualClock(TDateTime start = 0) : now_(start) {}
    TDateTime Now() const override { return now_; }
    void Set(TDateTime value) { now_ = value; }
    void Advance(TDateTime days) { now_ += days; }
    void AdvanceSeconds(double seconds) { now_ += seconds * kOneSecond; }

private:
    TDateTime now_;
};

}  // namespace halcyra
