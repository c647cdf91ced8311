#include "patients/SeriesPoints.h"

#include <algorithm>
#include <cmath>

namespace halcyra {

TSeriesPoints TSeriesPoints::None()
{
    TSeriesPoints points;
    points.known_ = true;
    return points;
}

void TSeriesPoints::NoteTime(TDateTime time)
{
    latest_ = hasPoints_ ? std::max(latest_, time) : time;
    hasPoints_ = true;
}

void TSeriesPoints::Appended(bool delimiter, TDateTime time)
{
    known_ = true;
    closed_ = delimiter;
    NoteTime(time);
    if (delimiter) return;
    std::copy_backward(recent_.begin(), recent_.end() - 1, recent_.end());
    recent_[0] = time;
    recentCount_ = std::min(recentCount_ + 1, kRecent);
}

void TSeriesPoints::ReadBefore(bool delimiter, TDateTime time)
{
    if (!known_) {
        known_ = true;
        closed_ = delimiter;
    }
    NoteTime(time);
    if (!delimiter && recentCount_ < kRecent) recent_[recentCount_++] = time;
}

bool TSeriesPoints::HoldsValueAt(TDateTime time) const
{
    return std::any_of(recent_.begin(), recent_.begin() + static_cast<std::ptrdiff_t>(recentCount_),
                       [time](TDateTime t) { return std::fabs(t - time) < kOneMillisecond / 2; });
}

TDateTime TSeriesPoints::DelimiterTime(TDateTime after) const
{
    return (hasPoints_ ? std::max(after, latest_) : after) + kOneSecond;
}

}  // namespace halcyra
