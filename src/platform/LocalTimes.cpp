#include "platform/LocalTimes.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace halcyra {
namespace {

constexpr std::int64_t kUnixEpochDay = 25569;  // 1970-01-01 as a date-time
constexpr std::int64_t kSecondsPerDay = 86400;

// Local seconds since 1970-01-01 00:00 (local calendar time read as if it were UTC), to the millisecond a
// date-time holds, so that whole seconds stay whole.
double LocalSeconds(TDateTime local)
{
    return std::round((local - static_cast<double>(kUnixEpochDay)) * static_cast<double>(kSecondsPerDay) * 1000.0) /
           1000.0;
}

TDateTime FromLocalSeconds(double seconds)
{
    const double days = std::floor(seconds / kSecondsPerDay);
    return static_cast<double>(kUnixEpochDay) + days + (seconds - days * kSecondsPerDay) / kSecondsPerDay;
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

}  // namespace

std::int64_t TLocalTimes::OffsetAt(std::int64_t unixSeconds)
{
    const auto t = static_cast<std::time_t>(unixSeconds);
    std::tm parts{};
    if (localtime_r(&t, &parts) == nullptr) return 0;
    return parts.tm_gmtoff;
}

const TLocalTimes::TMinute& TLocalTimes::LocalMinute(std::int64_t minute)
{
    if (local_.key == minute) return local_;
    TMinute found;
    found.key = minute;
    const std::int64_t localSeconds = minute * 60;
    // The offsets a day before and a day after cover any change of the zone near this minute: each one
    // that, applied to the minute, gives an instant at which the zone has that very offset is a reading.
    const std::int64_t tries[2] = {OffsetAt(localSeconds - kSecondsPerDay), OffsetAt(localSeconds + kSecondsPerDay)};
    for (const std::int64_t offset : tries) {
        if (OffsetAt(localSeconds - offset) != offset) continue;
        if (found.count == 1 && found.offsets[0] == offset) continue;
        found.offsets[found.count++] = offset;
    }
    // Earliest instant first: the larger offset.
    if (found.count == 2 && found.offsets[0] < found.offsets[1]) std::swap(found.offsets[0], found.offsets[1]);
    local_ = found;
    return local_;
}

TDateTime TLocalTimes::LocalOf(TUnixSeconds instant)
{
    const auto minute = FloorDiv(static_cast<std::int64_t>(std::floor(instant)), 60);
    if (minute != utcMinute_) {
        utcMinute_ = minute;
        utcOffset_ = OffsetAt(minute * 60);
    }
    return FromLocalSeconds(instant + static_cast<double>(utcOffset_));
}

int TLocalTimes::InstantsOf(TDateTime local, TUnixSeconds out[2])
{
    const double seconds = LocalSeconds(local);
    const TMinute& minute = LocalMinute(FloorDiv(static_cast<std::int64_t>(std::floor(seconds)), 60));
    for (int i = 0; i < minute.count; ++i) out[i] = seconds - static_cast<double>(minute.offsets[i]);
    return minute.count;
}

TDateTime TLocalTimes::Existing(TDateTime local)
{
    TUnixSeconds instants[2];
    if (InstantsOf(local, instants) > 0) return local;
    // Skipped: the zone moved from `before` to `after` (a larger offset) at an instant between the two
    // readings of this local time; the first local time after the gap is that instant's.
    const double seconds = LocalSeconds(local);
    const auto whole = static_cast<std::int64_t>(std::floor(seconds));
    const std::int64_t before = OffsetAt(whole - kSecondsPerDay);
    const std::int64_t after = OffsetAt(whole + kSecondsPerDay);
    if (after <= before) return local;  // no gap here after all: leave the time alone
    std::int64_t low = whole - after;   // the zone has `before` here
    std::int64_t high = whole - before + 1;
    while (high - low > 1) {
        const std::int64_t mid = low + (high - low) / 2;
        if (OffsetAt(mid) == after)
            high = mid;
        else
            low = mid;
    }
    return FromLocalSeconds(static_cast<double>(high + after));
}

std::string TLocalTimes::FormatIsoWithOffset(TDateTime local)
{
    const double seconds = LocalSeconds(local);
    const TMinute& minute = LocalMinute(FloorDiv(static_cast<std::int64_t>(std::floor(seconds)), 60));
    const std::int64_t offset = minute.count > 0
                                    ? minute.offsets[0]
                                    : OffsetAt(static_cast<std::int64_t>(std::floor(seconds)) - kSecondsPerDay);
    const std::int64_t minutes = (offset < 0 ? -offset : offset) / 60;
    char zone[8];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', static_cast<int>(minutes / 60 % 100),
                  static_cast<int>(minutes % 60));
    return FormatIsoSeconds(local) + zone;
}

}  // namespace halcyra
