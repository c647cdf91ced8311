// When each message of a captured stream arrives in an import: at its first OBR's observation time, never
// earlier than the message before it.
#pragma once

#include "hl7/MessageSplitter.h"
#include "platform/DateTime.h"

#include <vector>

namespace halcyra {

// A message without a readable OBR-7, with one earlier than the previous arrival, or with one more than a
// day after it that the next message's stamp does not go on from (a stray stamp; after a gap in the
// capture the stamps go on), arrives with the message before it. The import starts at the first stamp that
// the next one goes on from (or the first readable one): the messages before it arrive at that time. A
// stamp more than a day after `now` is unreadable. Without any readable time every message arrives at `now`.
std::vector<TDateTime> ArrivalTimes(const TCapturedStream& stream, TDateTime now);

// The message framed as the central station sends it: 0x0B, each segment ended by 0x0D, then 0x1C 0x0D.
std::string FrameMessage(const TSegmentList& segments);

}  // namespace halcyra
