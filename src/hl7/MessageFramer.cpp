#include "hl7/MessageFramer.h"

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
    const std::string_view buffer = RxBuffer();
    const std::optional<TEndMarker> end = FindEndMarker(buffer, endScan_);
    if (!end) {
        ++stopPosExitCount_;
        if (buffer.size() > kMaxBufferedWithoutEnd) {
            Clear();
            ++droppedCount_;
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

void TMessageFramer::Clear()
{
    rx_.clear();
    head_ = 0;
    endScan_ = 0;
}

}  // namespace halcyra
