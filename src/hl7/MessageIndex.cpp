#include "hl7/MessageIndex.h"

#include "hl7/ByteSearch.h"
#include "hl7/Items.h"

namespace halcyra {

void TMessageIndex::Clear()
{
    segments_.clear();
    separators_.clear();
}

void TMessageIndex::IndexFrame(std::string_view message)
{
    Clear();
    std::size_t segmentBegin = 0;
    std::size_t firstSeparator = 0;
    ForEachByteOf(message, kFieldSeparator, kSegmentEnd, [&](std::size_t at, char c) {
        if (c == kFieldSeparator) {
            separators_.push_back(at - segmentBegin);
            return;
        }
        segments_.push_back(
            {message.data() + segmentBegin, at - segmentBegin, firstSeparator, separators_.size() - firstSeparator});
        segmentBegin = at + 1;
        firstSeparator = separators_.size();
    });
    separators_.resize(firstSeparator);
}

void TMessageIndex::AddSegment(std::string_view segment)
{
    const std::size_t first = separators_.size();
    ForEachByteOf(segment, kFieldSeparator, kFieldSeparator,
                  [&](std::size_t at, char) { separators_.push_back(at); });
    segments_.push_back({segment.data(), segment.size(), first, separators_.size() - first});
}

void TMessageIndex::IndexLines(std::string_view text)
{
    Clear();
    std::size_t lineBegin = 0;
    const auto endLine = [&](std::size_t at) {
        if (at > lineBegin) AddSegment(text.substr(lineBegin, at - lineBegin));
        lineBegin = at + 1;
    };
    ForEachByteOf(text, '\r', '\n', [&](std::size_t at, char) { endLine(at); });
    endLine(text.size());
}

void TMessageIndex::IndexSegments(const TSegmentList& segments)
{
    Clear();
    for (const std::string& segment : segments) AddSegment(segment);
}

std::string_view TMessageIndex::Field(std::size_t i, int k) const
{
    const TEntry& entry = segments_[i];
    if (k < 1) return {};
    const auto item = static_cast<std::size_t>(k);
    // Item k runs from separator k-1 to separator k (or the ends of the segment).
    if (item - 1 > entry.separatorCount) return {};
    const std::size_t* const separators = separators_.data() + entry.firstSeparator;
    const std::size_t begin = item == 1 ? 0 : separators[item - 2] + 1;
    const std::size_t end = item <= entry.separatorCount ? separators[item - 1] : entry.size;
    return {entry.data + begin, end - begin};
}

}  // namespace halcyra
