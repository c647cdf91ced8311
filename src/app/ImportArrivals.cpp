#include "app/ImportArrivals.h"

#include "hl7/Hl7Time.h"
#include "hl7/Items.h"
#include "hl7/Segments.h"

#include <cmath>
#include <optional>

namespace halcyra {
namespace {

std::optional<TDateTime> FirstObservationTime(const TSegmentList& segments)
{
    for (const std::string& line : segments) {
        if (GetSegmentKind(line) != skOBR) continue;
        TDateTime time = 0;
        if (TryHL7ToDateTime(GetField(line, hl7item::kObrObservationTime), time)) return time;
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

std::vector<TDateTime> ArrivalTimes(const TCapturedStream& stream, TDateTime now)
{
    // A capture holds no stamps from the future.
    const TDateTime latest = now + kMaxStampDistance;
    std::vector<std::optional<TDateTime>> own;
    own.reserve(stream.messages.size());
    for (const TCapturedMessage& message : stream.messages) {
        own.push_back(FirstObservationTime(message.segments));
        if (own.back() && *own.back() > latest) own.back().reset();
    }
    // A stamp that the next stamp lies within a day of: the station went on from it. A lone stamp far from
    // the others is a stray one, while after a gap in the capture the stamps go on from the new time.
    std::vector<bool> followed(own.size(), false);
    std::optional<TDateTime> next;
    for (std::size_t i = own.size(); i-- > 0;) {
        if (!own[i]) continue;
        followed[i] = next && std::abs(*next - *own[i]) <= kMaxStampDistance;
        next = own[i];
    }

    std::optional<TDateTime> start;
    for (std::size_t i = 0; i < own.size() && !start; ++i)
        if (own[i] && followed[i]) start = own[i];
    if (!start)
        for (const auto& time : own)
            if (time) {
                start = time;
                break;
            }
    std::vector<TDateTime> arrivals;
    arrivals.reserve(own.size());
    TDateTime previous = start.value_or(now);
    for (std::size_t i = 0; i < own.size(); ++i) {
        const auto& time = own[i];
        if (time && *time >= previous && (*time - previous <= kMaxStampDistance || followed[i])) previous = *time;
        arrivals.push_back(previous);
    }
    return arrivals;
}

std::string FrameMessage(const TSegmentList& segments)
{
    std::string bytes(1, kStartBlock);
    for (const std::string& line : segments) {
        bytes += line;
        bytes += kSegmentEnd;
    }
    bytes += kEndBlock;
    bytes += kSegmentEnd;
    return bytes;
}

}  // namespace halcyra
