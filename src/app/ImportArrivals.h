// When each message of a captured stream arrives in an import: at the instant of its first OBR's
// observation time, never earlier than the message before it. Instants, not local times: at the end of
// summer time the local times of a capture repeat an hour while its instants go on, so the import's clock
// steps back as a live one does. A local stamp in the repeated hour is the instant that does not go back
// before the stamp read before it.
#pragma once

#include "hl7/MessageIndex.h"
#include "hl7/MessageSplitter.h"
#include "platform/DateTime.h"
#include "platform/LocalTimes.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace halcyra {

// A message without a readable OBR-7, with one earlier than the previous arrival, or with one more than a
// day after it that the next message's stamp does not go on from (a stray stamp; after a gap in the
// capture the stamps go on), arrives with the message before it. The import starts at the first stamp that
// the next one goes on from (or the first readable one): the messages before it arrive at that time. A
// stamp more than a day after `now` (local time) is unreadable. Without any readable time every message
// arrives at `now`. Gives the local time of each arrival.
std::vector<TDateTime> ArrivalTimes(const TCapturedStream& stream, TDateTime now);

// The same arrivals for a capture read twice, holding no more than a few stamps: a first pass shows each
// message to TArrivalScan, then TArrivalTimes gives the arrival of each message of a second pass.
class TArrivalTimes {
public:
    // The arrival of the next message.
    TUnixSeconds Next(const TMessageIndex& segments);
    // The arrival of the first message; the times themselves stay at the first message.
    TUnixSeconds First() const;

private:
    friend class TArrivalScan;
    TUnixSeconds Step(std::optional<TUnixSeconds> own);
    // The instant of the message's first OBR-7, unless there is none, it cannot be read or it is from the
    // future.
    std::optional<TUnixSeconds> OwnTime(const TMessageIndex& segments);

    TLocalTimes localTimes_;
    TUnixSeconds latest_ = 0;
    TUnixSeconds previous_ = 0;
    TUnixSeconds lastStamp_ = 0;  // the last stamp read, for the repeated hour
    std::optional<TUnixSeconds> firstOwn_;
    std::vector<std::size_t> unfollowed_;  // the messages, in order, whose stamp the next stamp does not go on from
    std::size_t nextUnfollowed_ = 0;
    std::size_t index_ = 0;
};

class TArrivalScan {
public:
    explicit TArrivalScan(TDateTime now);
    void Add(const TMessageIndex& segments);
    std::size_t Messages() const { return messages_; }
    // The arrivals of the messages shown, from the first on.
    TArrivalTimes Times() const;

private:
    TArrivalTimes times_;
    std::size_t messages_ = 0;
    std::optional<TUnixSeconds> start_;
    std::optional<TUnixSeconds> firstReadable_;
    std::optional<TUnixSeconds> last_;  // the last readable stamp, not yet known to be followed or not
    std::size_t lastIndex_ = 0;
};

}  // namespace halcyra
