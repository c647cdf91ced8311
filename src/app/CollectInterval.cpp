#include "app/CollectInterval.h"

#include <cmath>

namespace halcyra {

std::int32_t TCollectInterval::CentralStationTimeout() const
{
    return static_cast<std::int32_t>(RoundHalfEven(seconds_ * 1.5));
}

TDateTime TCollectInterval::NextCollectTime(bool remember, TDateTime base)
{
    std::int32_t d = seconds_;
    if (seconds_ % 5 == 0 && previous_ == next_) {
        const int s = DecodeDateTime(base).second;
        d = seconds_ - ((s + seconds_) % seconds_);
    }
    const TDateTime result = base + d * kOneSecond;
    if (remember) previous_ = next_;
    return result;
}

TDateTime TCollectInterval::AlignToInterval(TDateTime t) const
{
    const double perDay = static_cast<double>(RoundHalfEven(86400.0 / seconds_));
    const double days = std::trunc(t);
    return localTimes_.Existing(days + static_cast<double>(RoundHalfEven((t - days) * perDay)) / perDay);
}

}  // namespace halcyra
