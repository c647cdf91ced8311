// When each message of a captured stream arrives in an import: at its first OBR's observation time, never
// earlier than the message before it.
#pragma once

#include "hl7/MessageSplitter.h"
#include "platform/DateTime.h"

#include <vector>

namespace halcyra {

// A message without a readable OBR-7, with one earlier than the previous arrival, or with one more than a
// day after it that no other message's time lies within a day of (a stray stamp, where a gap in the
// capture is followed by more), arrives with the message before it. The first readable time that is not
// stray is where the import starts: the messages before it arrive at that time. Without any readable time
// every message arrives at `fallback`.
std::vector<TDateTime> ArrivalTimes(const TCapturedStream& stream, TDateTime fallback);

// The message framed as the central station sends it: 0x0B, each segment ended by 0x0D, then 0x1C 0x0D.
std::string FrameMessage(const TSegmentList& segments);

}  // namespace halcyra
