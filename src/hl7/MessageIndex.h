// The fast way to read a message: its segments and the field separators of each are found in one pass,
// and every field is then a slice of the message text, found without rescanning.
//
// Use one index for message after message: once its buffers have grown to the largest message it
// allocates nothing. The index holds views into the text it was built from, which must outlive its use.
//
//     TMessageIndex index;
//     index.IndexFrame(body);                       // the text between 0x0B and 0x1C 0x0D
//     for (std::size_t i = 0; i < index.size(); ++i)
//         if (index.Kind(i) == skOBX) Use(index.Field(i, hl7item::kObxValue));
//
// Field(i, k) is exactly GetField(Segment(i), k); Segment(i) is exactly the i-th segment that
// SplitSegments (framed) or the plain-text capture splitter gives. ReadMessageFields (MessageFields.h)
// takes everything the program uses from an index.
#pragma once

#include "hl7/MessageSplitter.h"
#include "hl7/Segments.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace halcyra {

class TMessageIndex {
public:
    // Segments end at carriage returns (empty ones too); text after the last one is dropped, as the
    // program's reader cuts a framed message. A message whose last segment ends with a line feed is cut at
    // CR LF, CR or LF, as the reader cuts a CR LF sender's messages; in any other a line feed is data.
    void IndexFrame(std::string_view message);
    // Plain text: lines end at CR or LF, empty lines are skipped, a last line without an end counts.
    void IndexLines(std::string_view text);
    // Segments already cut, as the reader's segment list holds them.
    void IndexSegments(const TSegmentList& segments);
    // The index would outlive a temporary list.
    void IndexSegments(TSegmentList&&) = delete;

    std::size_t size() const { return segments_.size(); }
    // The segments as strings of their own, outliving the text.
    TSegmentList Copy() const;
    // The message framed as the central station sends it: 0x0B, each segment ended by 0x0D, then 0x1C 0x0D;
    // into `bytes`, which is reused.
    void Frame(std::string& bytes) const;
    std::string_view Segment(std::size_t i) const { return {segments_[i].data, segments_[i].size}; }
    TSegmentKind Kind(std::size_t i) const { return GetSegmentKind(Segment(i)); }
    // GetField(Segment(i), k): item k counted from 1, empty when the segment has fewer items or k < 1.
    std::string_view Field(std::size_t i, int k) const
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

private:
    void IndexCrLfFrame(std::string_view message);

    struct TEntry {
        const char* data;
        std::size_t size;
        std::size_t firstSeparator;  // into separators_
        std::size_t separatorCount;
    };
    void Clear();
    void AddSeparator(std::size_t offset);
    void AddSegment(std::string_view segment);

    std::vector<TEntry> segments_;
    // Offsets of '|' within their segment: the first separatorCount_ elements. The vector is only ever
    // grown, so that indexing the next message writes into memory already there.
    std::vector<std::size_t> separators_;
    std::size_t separatorCount_ = 0;
};

}  // namespace halcyra
