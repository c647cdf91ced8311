// The rules of the collect-interval dialog without its widgets: how an interval in seconds shows as hours,
// minutes and seconds, the half-minute steps of the seconds, the derived central-station timeout and the
// shortest interval accepted.
#pragma once

#include <cstdint>
#include <optional>

namespace halcyra {

struct TIntervalParts {
    std::int32_t hours = 0;
    std::int32_t minutes = 0;
    std::int32_t seconds = 0;

    std::int32_t TotalSeconds() const { return hours * 60 * 60 + minutes * 60 + seconds; }
};

// The ranges of the three fields.
inline constexpr std::int32_t kIntervalMaxHours = 1;
inline constexpr std::int32_t kIntervalMaxMinutes = 59;
inline constexpr std::int32_t kIntervalMaxSeconds = 30;
inline constexpr std::int32_t kIntervalSecondsStep = 30;

// The fields for an interval, exactly as it is. An interval the fields' ranges and half-minute steps cannot
// hold (10 s, 45 s, 2 h) widens the fields rather than show a rounded value that OK would then set.
TIntervalParts SplitInterval(std::int32_t intervalSeconds);
// Once edited, the fields offer only whole and half minutes: below 2 seconds is 0, anything else 30.
std::int32_t SnapSeconds(std::int32_t seconds);
// The central station's allowed silence for that interval: 1.5 times, rounded.
std::int32_t CentralStationTimeoutFor(std::int32_t totalSeconds);
// The shortest interval accepted: twice "MedianFilterValue".
inline std::int32_t ShortestInterval(std::int32_t medianFilterValue)
{
    return 2 * medianFilterValue;
}
// The interval OK takes, or nothing when it is shorter than allowed.
std::optional<std::int32_t> AcceptedInterval(const TIntervalParts& parts, std::int32_t medianFilterValue);

}  // namespace halcyra
