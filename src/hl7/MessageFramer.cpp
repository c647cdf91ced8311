#include "hl7/MessageFramer.h"

#include <algorithm>

namespace halcyra {

namespace {
constexpr char kLineFeed = '\n';
}

std::optional<TEndMarker> FindEndMarker(std::string_view buffer, std::size_t from)
{
    for (std::size_t end = buffer.find(kEndBlock, from); end != std::string_view::npos;
         end = buffer.find(kEndBlock, end + 1)) {
        if (end + 1 >= buffer.size()) return std::nullopt;
        if (buffer[end + 1] != kSegmentEnd || end == 0) continue;
        if (buffer[end - 1] == kSegmentEnd) return TEndMarker{end, end + 2};
        if (buffer[end - 1] == kLineFeed && end >= 2 && buffer[end - 2] == kSegmentEnd) return TEndMarker{end, end + 2};
    }
    return std::nullopt;
}

void CutSegments(std::string_view message, TSegmentList& segments)
{
    ForEachSegment(message, [&](std::string_view segment) { segments.emplace_back(segment); });
}

void TMessageFramer::Append(std::string_view bytes)
{
    if (head_ > 0) {
        rx_.erase(0, head_);
        head_ = 0;
    }
    rx_.append(bytes);
}

TMessageFramer::TCut TMessageFramer::CutNext(TSegmentList& segments)
{
    std::string_view message;
    const TCut cut = CutNext(message);
    if (cut == TCut::Message) CutSegments(message, segments);
    return cut;
}

TMessageFramer::TCut TMessageFramer::CutNext(std::string_view& message)
{
    message = {};
    if (skipping_) {
        // The rest of a message dropped for its length: through its end marker, start markers and all, as a
        // stream arriving whole would have dropped it.
        const std::string_view buffer = RxBuffer();
        const std::optional<TEndMarker> end = FindEndMarker(buffer, endScan_);
        if (!end) {
            ++stopPosExitCount_;
            KeepEndMarkerStart();
            return TCut::NoEndMarker;
        }
        head_ += end->next;
        endScan_ = 0;
        skipping_ = false;
    }
    const std::string_view buffer = RxBuffer();
    const std::optional<TEndMarker> end = FindEndMarker(buffer, endScan_);
    if (!end) {
        ++stopPosExitCount_;
        if (buffer.size() > kMaxBufferedWithoutEnd) {
            const std::size_t start = buffer.find(kStartBlock);
            if (start != std::string_view::npos && buffer.size() - start <= kMaxBufferedWithoutEnd) {
                // Only the bytes in front of the start marker go: cutting the message would skip them anyway.
                head_ += start;
                endScan_ = buffer.size() - start - 1;
                return TCut::NoEndMarker;
            }
            // Without a start marker nothing of it can become a message; with one, the message has passed the
            // limit and is dropped through its end marker, wherever that arrives.
            ++droppedCount_;
            if (start == std::string_view::npos) {
                Clear();
                return TCut::Dropped;
            }
            KeepEndMarkerStart();
            skipping_ = true;
            return TCut::Dropped;
        }
        // Only a 0x1C in the last byte can still become the start of an end marker.
        endScan_ = buffer.empty() ? 0 : buffer.size() - 1;
        return TCut::NoEndMarker;
    }
    const std::size_t start = buffer.find(kStartBlock);
    if (start == std::string_view::npos) {
        Clear();
        ++startPosExitCount_;
        return TCut::NoStartMarker;
    }
    head_ += end->next;
    endScan_ = 0;
    if (start < end->textEnd && end->next - start > kMaxBufferedWithoutEnd) {
        ++droppedCount_;
        return TCut::TooLong;
    }
    if (start < end->textEnd) message = buffer.substr(start + 1, end->textEnd - start - 1);
    return TCut::Message;
}

void TMessageFramer::KeepEndMarkerStart()
{
    // The terminator in front of 0x1C (CR, or CR LF) and the 0x1C itself may lie in the last three bytes.
    const std::string_view buffer = RxBuffer();
    const std::size_t keep = std::min<std::size_t>(buffer.size(), 3);
    head_ += buffer.size() - keep;
    endScan_ = keep == 0 ? 0 : keep - 1;
}

void TMessageFramer::Clear()
{
    rx_.clear();
    head_ = 0;
    endScan_ = 0;
    skipping_ = false;
}

}  // namespace halcyra
