#include "app/ImportArrivals.h"

#include "hl7/Hl7Time.h"
#include "hl7/Items.h"
#include "hl7/Segments.h"

#include <cmath>
#include <ctime>
#include <optional>

namespace halcyra {
namespace {

constexpr double kMaxStampSeconds = kMaxStampDistance * 86400.0;

// The instant a local time names: of two (the repeated hour), the first that does not go back before
// `previous`, else the later; in the skipped hour, the end of the gap.
TUnixSeconds InstantOf(TLocalTimes& localTimes, TDateTime local, TUnixSeconds previous)
{
    TUnixSeconds instants[2];
    int count = localTimes.InstantsOf(local, instants);
    if (count == 0) count = localTimes.InstantsOf(localTimes.Existing(local), instants);
    if (count == 0) return (local - 25569.0) * 86400.0;  // a zone without rules for it: read as UTC
    if (count == 2 && instants[0] < previous) return instants[1];
    return instants[0];
}

std::optional<THL7Stamp> FirstObservationTime(const TMessageIndex& segments)
{
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (segments.Kind(i) != skOBR) continue;
        THL7Stamp stamp;
        if (TryReadHL7Stamp(segments.Field(i, hl7item::kObrObservationTime), stamp)) return stamp;
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

std::optional<TUnixSeconds> TArrivalTimes::OwnTime(const TMessageIndex& segments)
{
    const std::optional<THL7Stamp> stamp = FirstObservationTime(segments);
    if (!stamp) return std::nullopt;
    // A stamp with a zone names its instant; a local one is read with the local zone's rules.
    const TUnixSeconds instant = stamp->zoned ? static_cast<double>(UnixTimeFromUtc(DecodeDateTime(stamp->written)) -
                                                                    static_cast<std::time_t>(stamp->offsetMinutes) * 60)
                                              : InstantOf(localTimes_, stamp->written, lastStamp_);
    lastStamp_ = instant;
    // A capture holds no stamps from the future.
    return instant > latest_ ? std::nullopt : std::optional<TUnixSeconds>(instant);
}

TArrivalScan::TArrivalScan(TDateTime now)
{
    const TUnixSeconds instant = InstantOf(times_.localTimes_, now, 0);
    times_.latest_ = instant + kMaxStampSeconds;
    times_.previous_ = instant;
}

void TArrivalScan::Add(const TMessageIndex& segments)
{
    const std::size_t index = messages_++;
    const std::optional<TUnixSeconds> own = times_.OwnTime(segments);
    if (index == 0) times_.firstOwn_ = own;
    if (!own) return;
    if (!firstReadable_) firstReadable_ = own;
    // A stamp that the next stamp lies within a day of: the station went on from it. A lone stamp far from
    // the others is a stray one, while after a gap in the capture the stamps go on from the new time.
    if (last_) {
        if (std::abs(*own - *last_) <= kMaxStampSeconds) {
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
    times.lastStamp_ = 0;  // the second pass reads the stamps from the first again
    if (last_) times.unfollowed_.push_back(lastIndex_);
    // The import starts at the first stamp that the next one goes on from, or else at the first readable one.
    if (const std::optional<TUnixSeconds> start = start_ ? start_ : firstReadable_) times.previous_ = *start;
    return times;
}

TUnixSeconds TArrivalTimes::Step(std::optional<TUnixSeconds> own)
{
    while (nextUnfollowed_ < unfollowed_.size() && unfollowed_[nextUnfollowed_] < index_) ++nextUnfollowed_;
    const bool followed = own && !(nextUnfollowed_ < unfollowed_.size() && unfollowed_[nextUnfollowed_] == index_);
    ++index_;
    if (own && *own >= previous_ && (*own - previous_ <= kMaxStampSeconds || followed)) previous_ = *own;
    return previous_;
}

TUnixSeconds TArrivalTimes::Next(const TMessageIndex& segments)
{
    return Step(OwnTime(segments));
}

TUnixSeconds TArrivalTimes::First() const
{
    TArrivalTimes first = *this;
    return first.Step(firstOwn_);
}

std::vector<TDateTime> ArrivalTimes(const TCapturedStream& stream, TDateTime now)
{
    TArrivalScan scan(now);
    TMessageIndex index;
    for (const TCapturedMessage& message : stream.messages) {
        index.IndexSegments(message.segments);
        scan.Add(index);
    }
    TArrivalTimes times = scan.Times();
    TLocalTimes localTimes;
    std::vector<TDateTime> arrivals;
    arrivals.reserve(stream.messages.size());
    for (const TCapturedMessage& message : stream.messages) {
        index.IndexSegments(message.segments);
        arrivals.push_back(localTimes.LocalOf(times.Next(index)));
    }
    return arrivals;
}

}  // namespace halcyra
