#include "params/CollectIntervalChoice.h"

#include "platform/DateTime.h"

#include <algorithm>

namespace halcyra {

TIntervalParts SplitInterval(std::int32_t intervalSeconds)
{
    const std::int32_t total = std::max(intervalSeconds, 0);
    return {total / 60 / 60, (total / 60) % 60, total % 60};
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
