#include "StreamShaper.h"

#include <algorithm>

namespace cssim {

std::vector<TWrite> TStreamShaper::Shape(const halcyra::TSegmentList& segments)
{
    ++messages_;
    std::string frame(1, halcyra::kStartBlock);
    for (const std::string& segment : segments) {
        frame += segment;
        frame += faults_.crlf ? "\r\n" : "\r";
    }
    frame += halcyra::kEndBlock;
    frame += halcyra::kSegmentEnd;

    std::string garbage;
    if (faults_.garbage > 0 && random_.Chance(faults_.garbage)) {
        static constexpr char kStray[] = "ABCxyz019|^~&\\ \r\n\t\x00\x7F\xFF";
        const int length = 1 + random_.Below(40);
        for (int i = 0; i < length; ++i) garbage += kStray[random_.Below(sizeof kStray - 1)];
    }

    std::vector<TWrite> writes;
    if (faults_.dropEvery > 0 && messages_ % static_cast<std::uint64_t>(faults_.dropEvery) == 0) {
        // Cut strictly inside the frame: the start marker went out, the end marker did not.
        const std::size_t cut = 1 + static_cast<std::size_t>(random_.Below(static_cast<int>(frame.size()) - 2));
        writes.push_back({garbage + frame.substr(0, cut), false, true});
        return writes;
    }

    std::vector<std::size_t> cuts;
    if (faults_.split > 0 && random_.Chance(faults_.split)) {
        const int pieces = 2 + random_.Below(3);
        for (int i = 1; i < pieces; ++i)
            cuts.push_back(1 + static_cast<std::size_t>(random_.Below(static_cast<int>(frame.size()) - 1)));
        // Before 0x1C (after the last segment's end) or between 0x1C and its 0x0D.
        if (random_.Chance(0.5)) cuts.push_back(frame.size() - 1 - static_cast<std::size_t>(random_.Below(2)));
        std::sort(cuts.begin(), cuts.end());
        cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    }
    std::size_t from = 0;
    for (const std::size_t cut : cuts) {
        writes.push_back({frame.substr(from, cut - from), from > 0, false});
        from = cut;
    }
    writes.push_back({frame.substr(from), from > 0, false});
    writes.front().bytes.insert(0, garbage);
    return writes;
}

}  // namespace cssim
