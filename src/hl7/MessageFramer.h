// Cutting the bytes received from a data source into framed messages (0x0B ... CR 0x1C 0x0D) and their
// segments. Senders that end segments with CR LF are framed too; CR-only streams are cut exactly as the
// plain CR rule would cut them.
#pragma once

#include "hl7/MessageSplitter.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace halcyra {

// The end of a message in a buffer: 0x1C 0x0D right after a segment terminator (CR, or CR LF).
struct TEndMarker {
    std::size_t textEnd = 0;  // one past that terminator: where the message text ends
    std::size_t next = 0;     // one past the 0x0D after 0x1C
};

// The first end marker of the buffer; a 0x1C 0x0D not preceded by CR or CR LF is not one.
std::optional<TEndMarker> FindEndMarker(std::string_view buffer);

// Calls visit(segment) for every piece of one message's text before a terminator (CR LF, CR or LF), empty
// pieces between two terminators too; text after the last terminator is dropped.
template <typename Visit>
void ForEachSegment(std::string_view message, Visit&& visit)
{
    std::size_t pos = 0;
    for (std::size_t end = message.find_first_of("\r\n"); end != std::string_view::npos;
         end = message.find_first_of("\r\n", pos)) {
        visit(message.substr(pos, end - pos));
        pos = end + 1;
        if (message[end] == kSegmentEnd && pos < message.size() && message[pos] == '\n') ++pos;
    }
}

// Appends the segments of one message's text, as ForEachSegment cuts them.
void CutSegments(std::string_view message, TSegmentList& segments);

// The receive buffer of a data-source reader and its two counters.
class TMessageFramer {
public:
    // Above this many bytes without an end marker the buffer is dropped, partial message and all.
    static constexpr std::size_t kMaxBufferedWithoutEnd = 4096;

    enum class TCut {
        Message,        // a message was cut out of the buffer (its text may be empty)
        NoEndMarker,    // no complete message; StopPosExitCount was increased
        NoStartMarker,  // an end marker without any start marker: buffer dropped, StartPosExitCount increased
    };

    void Append(std::string_view bytes);

    // Takes the oldest complete message out of the buffer and appends its segments. The message runs from
    // the byte after the first start marker to the end marker; bytes before that start marker are skipped.
    // A start marker that lies only after the end marker gives an empty message.
    TCut CutNext(TSegmentList& segments);

    // Drops what is buffered (a partial message of a connection that is gone).
    void Clear();

    std::string_view RxBuffer() const { return std::string_view(rx_).substr(head_); }
    bool Empty() const { return head_ == rx_.size(); }
    int StopPosExitCount() const { return stopPosExitCount_; }
    int StartPosExitCount() const { return startPosExitCount_; }

private:
    std::string rx_;
    std::size_t head_ = 0;  // bytes before it are consumed; removed at the next Append
    int stopPosExitCount_ = 0;
    int startPosExitCount_ = 0;
};

}  // namespace halcyra
