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

std::optional<TDateTime> OwnTime(const TSegmentList& segments, TDateTime latest)
{
    // A capture holds no stamps from the future.
    const std::optional<TDateTime> time = FirstObservationTime(segments);
    return time && *time > latest ? std::nullopt : time;
}

}  // namespace

TArrivalScan::TArrivalScan(TDateTime now)
{
    times_.latest_ = now + kMaxStampDistance;
    times_.previous_ = now;
}

void TArrivalScan::Add(const TSegmentList& segments)
{
    const std::size_t index = messages_++;
    const std::optional<TDateTime> own = OwnTime(segments, times_.latest_);
    if (index == 0) times_.firstOwn_ = own;
    if (!own) return;
    if (!firstReadable_) firstReadable_ = own;
    // A stamp that the next stamp lies within a day of: the station went on from it. A lone stamp far from
    // the others is a stray one, while after a gap in the capture the stamps go on from the new time.
    if (last_) {
        if (std::abs(*own - *last_) <= kMaxStampDistance) {
            if (!start_) start_ = last_;
        } else {
            times_.unfollowed_.push_back(lastIndex_);
        }
    }
    last_ = own;
    lastIndex_ = index;
}

TArrivalTimes TArrivalScan::Times() const
{
    TArrivalTimes times = times_;
    if (last_) times.unfollowed_.push_back(lastIndex_);
    // The import starts at the first stamp that the next one goes on from, or else at the first readable one.
    if (const std::optional<TDateTime> start = start_ ? start_ : firstReadable_) times.previous_ = *start;
    return times;
}

TDateTime TArrivalTimes::Step(std::optional<TDateTime> own)
{
    while (nextUnfollowed_ < unfollowed_.size() && unfollowed_[nextUnfollowed_] < index_) ++nextUnfollowed_;
    const bool followed = own && !(nextUnfollowed_ < unfollowed_.size() && unfollowed_[nextUnfollowed_] == index_);
    ++index_;
    if (own && *own >= previous_ && (*own - previous_ <= kMaxStampDistance || followed)) previous_ = *own;
    return previous_;
}

TDateTime TArrivalTimes::Next(const TSegmentList& segments)
{
    return Step(OwnTime(segments, latest_));
}

TDateTime TArrivalTimes::First() const
{
    TArrivalTimes first = *this;
    return first.Step(firstOwn_);
}

std::vector<TDateTime> ArrivalTimes(const TCapturedStream& stream, TDateTime now)
{
    TArrivalScan scan(now);
    for (const TCapturedMessage& message : stream.messages) scan.Add(message.segments);
    TArrivalTimes times = scan.Times();
    std::vector<TDateTime> arrivals;
    arrivals.reserve(stream.messages.size());
    for (const TCapturedMessage& message : stream.messages) arrivals.push_back(times.Next(message.segments));
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
