// What the writer knows of the points already in one series of the open monitor-data file: enough to
// write a grid time once and to close a series once. Learnt from the file's last records when its header
// is read, and kept up to date with every point the writer appends.
#pragma once

#include "platform/DateTime.h"

#include <array>
#include <cstddef>

namespace halcyra {

class TSeriesPoints {
public:
    // Nothing known: the series' points lie beyond what was read of the file.
    TSeriesPoints() = default;
    // Known to hold no point: a new series, or one without a record among all of the file's records.
    static TSeriesPoints None();

    // A point appended behind every other.
    void Appended(bool delimiter, TDateTime time);
    // A point read from the file's end backwards: older than every point noted so far.
    void ReadBefore(bool delimiter, TDateTime time);

    // Whether the series' last point (or that it has none) is known.
    bool Known() const { return known_; }
    // One of the series' most recent value points lies at this time (within half a millisecond).
    bool HoldsValueAt(TDateTime time) const;
    // A value at this time would go back before the series' latest point (within half a millisecond is that
    // point's time), or would not follow it. Never when the series' last points are not known.
    bool Before(TDateTime time) const { return known_ && hasPoints_ && time < latest_ - kOneMillisecond / 2; }
    bool AtOrBefore(TDateTime time) const { return known_ && hasPoints_ && time < latest_ + kOneMillisecond / 2; }
    // The series' latest point (0 when none is known).
    TDateTime Latest() const { return hasPoints_ ? latest_ : 0; }
    // Not when the series is known to hold no point or to end in a delimiter already; a series whose
    // last point is not known is closed, rather than risk leaving it open.
    bool NeedsDelimiter() const { return !known_ || (hasPoints_ && !closed_); }
    // One second after the later of `after` and the latest point known of the series, so the delimiter
    // follows the series' own points also when an older time was written last.
    TDateTime DelimiterTime(TDateTime after) const;

private:
    // Value times kept per series: the last few, so an aperiodic value of the same label in between
    // does not hide the grid time written before it.
    static constexpr std::size_t kRecent = 4;

    void NoteTime(TDateTime time);

    bool known_ = false;
    bool hasPoints_ = false;
    bool closed_ = false;
    TDateTime latest_ = 0;
    std::array<TDateTime, kRecent> recent_{};  // newest first
    std::size_t recentCount_ = 0;
};

}  // namespace halcyra
