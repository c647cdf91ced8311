// Compares the fast path (capture reader, message index, message fields) with the grammar functions
// (SplitCapturedStream, SplitSegments, GetField, SummarizeMessage) on the same input, field by field.
// Shared by the differential test and its fuzz target.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

// One framed message body: its segments, every field of every segment and every decoded value.
std::vector<std::string> MessageDifferences(std::string_view body);

// A captured stream, fed to the capture reader in pieces of `piece` bytes, against SplitCapturedStream.
std::vector<std::string> CaptureDifferences(std::string_view bytes, std::size_t piece);

// ValueToFloat against a plain conversion of the same text through std::from_chars (a number too small for
// a double gives 0, and no zero is negative), for both decimal separators, bit for bit.
std::vector<std::string> ValueDifferences(std::string_view text);

}  // namespace halcyra
