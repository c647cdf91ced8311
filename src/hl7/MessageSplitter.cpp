#include "hl7/MessageSplitter.h"

#include "hl7/Segments.h"

namespace halcyra {
namespace {

void SplitFramed(std::string_view bytes, TCapturedStream& stream)
{
    std::size_t pos = 0;
    while (true) {
        std::size_t start = bytes.find(kStartBlock, pos);
        if (start == std::string_view::npos) return;
        std::size_t end = start;
        while (true) {
            end = bytes.find(kEndBlock, end + 1);
            if (end == std::string_view::npos || end + 1 >= bytes.size()) return;
            if (bytes[end + 1] == kSegmentEnd) break;
        }
        // A later start byte before the end means the earlier frame was cut off.
        const std::size_t lastStart = bytes.rfind(kStartBlock, end);
        if (lastStart > start) start = lastStart;
        const std::string_view body = bytes.substr(start + 1, end - start - 1);
        TCapturedMessage message;
        message.segments = SplitSegments(body);
        message.badEnd = body.empty() || body.back() != kSegmentEnd;
        stream.messages.push_back(std::move(message));
        pos = end + 2;
    }
}

void SplitPlainText(std::string_view bytes, TCapturedStream& stream)
{
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = bytes.size();
        const std::string_view line = bytes.substr(pos, end - pos);
        pos = end;
        if (pos < bytes.size() && bytes[pos] == '\r') ++pos;
        if (pos < bytes.size() && bytes[pos] == '\n') ++pos;
        if (line.empty()) continue;
        if (stream.messages.empty() || GetSegmentKind(line) == skMSH) stream.messages.emplace_back();
        stream.messages.back().segments.emplace_back(line);
    }
}

}  // namespace

TSegmentList SplitSegments(std::string_view message)
{
    TSegmentList segments;
    std::size_t pos = 0;
    for (std::size_t end = message.find(kSegmentEnd); end != std::string_view::npos;
         end = message.find(kSegmentEnd, pos)) {
        segments.emplace_back(message.substr(pos, end - pos));
        pos = end + 1;
    }
    return segments;
}

TCapturedStream SplitCapturedStream(std::string_view bytes)
{
    TCapturedStream stream;
    if (bytes.find(kStartBlock) != std::string_view::npos) {
        stream.form = TStreamForm::Framed;
        SplitFramed(bytes, stream);
    } else {
        SplitPlainText(bytes, stream);
    }
    return stream;
}

}  // namespace halcyra
