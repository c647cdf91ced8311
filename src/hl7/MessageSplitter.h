// Cutting HL7 text into segments, and a captured stream (framed or plain text) into messages.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

inline constexpr char kStartBlock = '\x0B';
inline constexpr char kEndBlock = '\x1C';
inline constexpr char kSegmentEnd = '\x0D';

// The most bytes of one message that a reader gathers without seeing its end. A monitor message with many
// parameters takes a few kilobytes; the bound keeps a stream that never ends a message from growing the
// buffer without limit.
inline constexpr std::size_t kMaxMessageSize = 1024 * 1024;

using TSegmentList = std::vector<std::string>;

// The segments of one framed message's text, cut as the program's reader cuts them (ForEachSegment in
// MessageFramer.h): at CR, or at CR LF, CR or LF when the message ends its last segment with a line feed;
// text after the last terminator is dropped.
TSegmentList SplitSegments(std::string_view message);

enum class TStreamForm { Framed, PlainText };

struct TCapturedMessage {
    TSegmentList segments;
    // Framed only: the frame did not end with 0x0D 0x1C 0x0D, so the program's reader would not cut it.
    bool badEnd = false;
};

struct TCapturedStream {
    TStreamForm form = TStreamForm::PlainText;
    std::vector<TCapturedMessage> messages;
};

// A stream holding a 0x0B byte is framed: each message runs from a 0x0B to the next 0x1C 0x0D; bytes
// outside frames, and a frame cut off by a later 0x0B or by the end of the stream, are skipped. Its
// segments are split as SplitSegments does. Otherwise the stream is plain text: lines end with CR, LF or
// CR LF, empty lines are skipped, each MSH line starts a message, and lines before the first MSH form a
// message of their own so that nothing in the capture goes unseen.
TCapturedStream SplitCapturedStream(std::string_view bytes);

}  // namespace halcyra
