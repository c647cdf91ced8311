#include "app/ImportArrivals.h"

#include "hl7/Hl7Time.h"
#include "hl7/Items.h"
#include "hl7/Segments.h"

#include <algorithm>
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

std::vector<TDateTime> ArrivalTimes(const TCapturedStream& stream, TDateTime fallback)
{
    std::vector<std::optional<TDateTime>> own;
    own.reserve(stream.messages.size());
    std::vector<TDateTime> sorted;
    for (const TCapturedMessage& message : stream.messages) {
        own.push_back(FirstObservationTime(message.segments));
        if (own.back()) sorted.push_back(*own.back());
    }
    std::sort(sorted.begin(), sorted.end());
    // A time that another message's time lies within a day of: a station stamps message after message, so a
    // stamp without company is a stray one, while a jump that later messages follow is a gap in the capture.
    const auto hasCompany = [&sorted](TDateTime t) {
        const auto from = std::lower_bound(sorted.begin(), sorted.end(), t - kMaxStampDistance);
        const auto to = std::upper_bound(sorted.begin(), sorted.end(), t + kMaxStampDistance);
        return to - from >= 2;
    };
    const bool anyCompany = std::any_of(sorted.begin(), sorted.end(), hasCompany);

    std::optional<TDateTime> start;
    for (const auto& time : own)
        if (time && (!anyCompany || hasCompany(*time))) {
            start = time;
            break;
        }
    std::vector<TDateTime> arrivals;
    arrivals.reserve(own.size());
    TDateTime previous = start.value_or(fallback);
    for (const auto& time : own) {
        if (time && *time >= previous && (*time - previous <= kMaxStampDistance || hasCompany(*time))) previous = *time;
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
