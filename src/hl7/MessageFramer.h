// Cutting the bytes received from a data source into framed messages (0x0B ... CR 0x1C 0x0D) and their
// segments. Senders that end segments with CR LF are framed too. Each message is cut by the terminator in
// front of its end marker: a message ending in CR LF has its segments cut at CR LF (and at a lone CR or LF,
// as such senders are read); a message ending in CR is cut at CR only, and a line feed in it is data.
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

// The first end marker of the buffer whose 0x1C lies at or after `from`; a 0x1C 0x0D not preceded by CR or
// CR LF is not one.
std::optional<TEndMarker> FindEndMarker(std::string_view buffer, std::size_t from = 0);

// Whether one message's text ends its last segment with a line feed (CR LF; LF alone only in a frame the
// reader does not cut, which the capture tools still show): its segments are then cut at line feeds too.
inline bool EndsSegmentsWithLineFeed(std::string_view message)
{
    return !message.empty() && message.back() == '\n';
}

// Calls visit(segment) for every piece of one message's text before a terminator, empty pieces between
// two terminators too; text after the last terminator is dropped. The terminators are CR LF, CR and LF
// when the message ends its last segment with a line feed, CR alone otherwise.
template <typename Visit>
void ForEachSegment(std::string_view message, Visit&& visit)
{
    const bool lineFeeds = EndsSegmentsWithLineFeed(message);
    const char* const terminators = lineFeeds ? "\r\n" : "\r";
    std::size_t pos = 0;
    for (std::size_t end = message.find_first_of(terminators); end != std::string_view::npos;
         end = message.find_first_of(terminators, pos)) {
        visit(message.substr(pos, end - pos));
        pos = end + 1;
        if (lineFeeds && message[end] == kSegmentEnd && pos < message.size() && message[pos] == '\n') ++pos;
    }
}

// Appends the segments of one message's text, as ForEachSegment cuts them.
void CutSegments(std::string_view message, TSegmentList& segments);

// The receive buffer of a data-source reader and its counters.
class TMessageFramer {
public:
    // A message longer than this, from its start marker through its end marker, is dropped however it
    // arrived: when this many bytes follow its start marker without an end marker, what is buffered goes
    // and so does the rest up to its end marker, start markers in it included, as from a stream that arrived
    // whole. Bytes in front of a start marker go once they pass this limit, and a buffer without any start
    // marker goes whole. What is taken does not depend on how the connection cut the stream.
    static constexpr std::size_t kMaxBufferedWithoutEnd = kMaxMessageSize;

    enum class TCut {
        Message,        // a message was cut out of the buffer (its text may be empty)
        NoEndMarker,    // no complete message; StopPosExitCount was increased
        Dropped,        // as NoEndMarker, and the buffer held too much to keep: dropped (a message in it through
                        // its end marker, which may come later), DroppedCount increased
        TooLong,        // a complete message longer than the limit was taken out unread; DroppedCount increased
        NoStartMarker,  // an end marker without any start marker: buffer dropped, StartPosExitCount increased
    };

    void Append(std::string_view bytes);

    // Takes the oldest complete message out of the buffer and gives its text (as ForEachSegment and
    // TMessageIndex::IndexFrame read it), a view of the buffer that holds until the next Append or Clear. The
    // message runs from the byte after the first start marker to the end marker; bytes before that start
    // marker are skipped. A start marker that lies only after the end marker gives an empty message.
    TCut CutNext(std::string_view& message);
    // As above, appending the message's segments.
    TCut CutNext(TSegmentList& segments);

    // Drops what is buffered (a partial message of a connection that is gone).
    void Clear();

    std::string_view RxBuffer() const { return std::string_view(rx_).substr(head_); }
    bool Empty() const { return head_ == rx_.size(); }
    int StopPosExitCount() const { return stopPosExitCount_; }
    int StartPosExitCount() const { return startPosExitCount_; }
    // Buffers and messages dropped for being longer than kMaxBufferedWithoutEnd.
    int DroppedCount() const { return droppedCount_; }

private:
    void KeepEndMarkerStart();

    std::string rx_;
    std::size_t head_ = 0;  // bytes before it are consumed; removed at the next Append
    // Where the search for the next end marker's 0x1C resumes, counted from head_: a message arriving in
    // many reads is searched once, not again from its start with every read.
    std::size_t endScan_ = 0;
    // The rest of a message dropped for its length is still to come, through its end marker.
    bool skipping_ = false;
    int stopPosExitCount_ = 0;
    int startPosExitCount_ = 0;
    int droppedCount_ = 0;
};

}  // namespace halcyra
