#include "app/ImportArrivals.h"

#include "hl7/Hl7Time.h"
#include "hl7/Items.h"
#include "hl7/Segments.h"

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
    std::optional<TDateTime> first;
    for (const TCapturedMessage& message : stream.messages) {
        own.push_back(FirstObservationTime(message.segments));
        if (!first && own.back()) first = own.back();
    }
    std::vector<TDateTime> arrivals;
    arrivals.reserve(own.size());
    TDateTime previous = first.value_or(fallback);
    for (const auto& time : own) {
        if (time && *time >= previous) previous = *time;
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
