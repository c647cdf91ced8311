#include "hl7/MessageIndex.h"

#include "hl7/ByteSearch.h"
#include "hl7/Items.h"
#include "hl7/MessageFramer.h"

#include <algorithm>

namespace halcyra {

TSegmentList TMessageIndex::Copy() const
{
    TSegmentList copy;
    copy.reserve(size());
    for (std::size_t i = 0; i < size(); ++i) copy.emplace_back(Segment(i));
    return copy;
}

void TMessageIndex::Frame(std::string& bytes) const
{
    bytes.assign(1, kStartBlock);
    for (std::size_t i = 0; i < size(); ++i) {
        bytes += Segment(i);
        bytes += kSegmentEnd;
    }
    bytes += kEndBlock;
    bytes += kSegmentEnd;
}

void TMessageIndex::Clear()
{
    segments_.clear();
    separatorCount_ = 0;
}

void TMessageIndex::AddSeparator(std::size_t offset)
{
    if (separatorCount_ == separators_.size()) separators_.resize(std::max<std::size_t>(64, 2 * separators_.size()));
    separators_[separatorCount_++] = offset;
}

void TMessageIndex::IndexFrame(std::string_view message)
{
    // A message whose segments end in CR LF (or LF): cut as the program's reader cuts them.
    if (EndsSegmentsWithLineFeed(message)) {
        IndexCrLfFrame(message);
        return;
    }
    Clear();
    // Kept in locals while the pass runs: stores into the offsets could otherwise alias the members.
    std::size_t* offsets = separators_.data();
    std::size_t capacity = separators_.size();
    std::size_t count = 0;
    std::size_t segmentBegin = 0;
    std::size_t firstSeparator = 0;
    const auto onSeparator = [&](std::size_t at) {
        if (count == capacity) {
            separatorCount_ = count;
            AddSeparator(at - segmentBegin);
            offsets = separators_.data();
            capacity = separators_.size();
            ++count;
            return;
        }
        offsets[count++] = at - segmentBegin;
    };
    const auto onSegmentEnd = [&](std::size_t at) {
        segments_.push_back({message.data() + segmentBegin, at - segmentBegin, firstSeparator, count - firstSeparator});
        segmentBegin = at + 1;
        firstSeparator = count;
    };
    ForEachByteOf(message, kFieldSeparator, onSeparator, kSegmentEnd, onSegmentEnd);
    // Text after the last segment end is no segment.
    separatorCount_ = firstSeparator;
}

void TMessageIndex::IndexCrLfFrame(std::string_view message)
{
    Clear();
    ForEachSegment(message, [this](std::string_view segment) { AddSegment(segment); });
}

void TMessageIndex::AddSegment(std::string_view segment)
{
    const std::size_t first = separatorCount_;
    ForEachByte(segment, kFieldSeparator, [&](std::size_t at) { AddSeparator(at); });
    segments_.push_back({segment.data(), segment.size(), first, separatorCount_ - first});
}

void TMessageIndex::IndexLines(std::string_view text)
{
    Clear();
    std::size_t lineBegin = 0;
    const auto endLine = [&](std::size_t at) {
        if (at > lineBegin) AddSegment(text.substr(lineBegin, at - lineBegin));
        lineBegin = at + 1;
    };
    ForEachByteOf(text, '\r', endLine, '\n', endLine);
    endLine(text.size());
}

void TMessageIndex::IndexSegments(const TSegmentList& segments)
{
    Clear();
    for (const std::string& segment : segments) AddSegment(segment);
}

}  // namespace halcyra
