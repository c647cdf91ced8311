#include "params/CollectIntervalChoice.h"

#include "platform/DateTime.h"

#include <algorithm>

namespace halcyra {

TIntervalParts SplitInterval(std::int32_t intervalSeconds)
{
    TIntervalParts parts;
    parts.hours = std::clamp((intervalSeconds / 60 / 60) % 24, 0, kIntervalMaxHours);
    parts.minutes = std::clamp((intervalSeconds / 60) % 60, 0, kIntervalMaxMinutes);
    parts.seconds = std::clamp(intervalSeconds % 60, 0, kIntervalMaxSeconds);
    return parts;
}

std::int32_t SnapSeconds(std::int32_t seconds)
{
    return seconds < 2 ? 0 : kIntervalSecondsStep;
}

std::int32_t CentralStationTimeoutFor(std::int32_t totalSeconds)
{
    return static_cast<std::int32_t>(RoundHalfEven(totalSeconds * 1.5));
}

std::optional<std::int32_t> AcceptedInterval(const TIntervalParts& parts, std::int32_t medianFilterValue)
{
    const std::int32_t total = parts.TotalSeconds();
    if (total < ShortestInterval(medianFilterValue)) return std::nullopt;
    return total;
}

}  // namespace halcyra
