#include "hl7/FrameFinder.h"

#include "hl7/MessageSplitter.h"

#include <cstring>

namespace halcyra {
namespace {

std::size_t Find(std::string_view bytes, char c, std::size_t from, std::size_t to)
{
    if (from >= to) return std::string_view::npos;
    const void* hit = std::memchr(bytes.data() + from, static_cast<unsigned char>(c), to - from);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - bytes.data()) : std::string_view::npos;
}

// The program's reader takes 0x1C 0x0D as the end of a message after a segment end of CR or CR LF.
bool EndsWithSegmentEnd(std::string_view body)
{
    if (body.empty()) return false;
    if (body.back() == kSegmentEnd) return true;
    return body.size() >= 2 && body.back() == '\n' && body[body.size() - 2] == kSegmentEnd;
}

}  // namespace

bool TFrameFinder::Next(std::string_view bytes, TFrame& frame)
{
    const std::size_t size = bytes.size();
    if (!haveStart_) {
        const std::size_t start = Find(bytes, kStartBlock, start_, size);
        if (start == std::string_view::npos) {
            start_ = size;
            scan_ = size;
            return false;
        }
        haveStart_ = true;
        start_ = start;
        scan_ = start + 1;
    }
    while (true) {
        const std::size_t end = Find(bytes, kEndBlock, scan_, size);
        const std::size_t limit = end == std::string_view::npos ? size : end;
        // A later start byte before the end means the earlier frame was cut off.
        for (std::size_t s = Find(bytes, kStartBlock, scan_, limit); s != std::string_view::npos;
             s = Find(bytes, kStartBlock, s + 1, limit))
            start_ = s;
        if (end == std::string_view::npos || end + 1 == size) {
            scan_ = limit;
            return false;
        }
        if (bytes[end + 1] != kSegmentEnd) {
            scan_ = end + 1;
            continue;
        }
        frame.body = bytes.substr(start_ + 1, end - start_ - 1);
        frame.badEnd = !EndsWithSegmentEnd(frame.body);
        haveStart_ = false;
        start_ = end + 2;
        scan_ = start_;
        return true;
    }
}

void TFrameFinder::Shift(std::size_t dropped)
{
    start_ -= dropped;
    scan_ -= dropped;
}

}  // namespace halcyra
