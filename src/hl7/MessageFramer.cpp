#include "hl7/MessageFramer.h"

namespace halcyra {

namespace {
constexpr char kLineFeed = '\n';
}

std::optional<TEndMarker> FindEndMarker(std::string_view buffer)
{
    for (std::size_t end = buffer.find(kEndBlock); end != std::string_view::npos;
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
    const std::string_view buffer = RxBuffer();
    const std::optional<TEndMarker> end = FindEndMarker(buffer);
    if (!end) {
        if (buffer.size() > kMaxBufferedWithoutEnd) Clear();
        ++stopPosExitCount_;
        return TCut::NoEndMarker;
    }
    const std::size_t start = buffer.find(kStartBlock);
    if (start == std::string_view::npos) {
        Clear();
        ++startPosExitCount_;
        return TCut::NoStartMarker;
    }
    if (start < end->textEnd) CutSegments(buffer.substr(start + 1, end->textEnd - start - 1), segments);
    head_ += end->next;
    return TCut::Message;
}

void TMessageFramer::Clear()
{
    rx_.clear();
    head_ = 0;
}

}  // namespace halcyra
