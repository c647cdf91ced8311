// Finding framed messages (0x0B, the message, 0x1C 0x0D) in bytes that may still be arriving, with
// forward searches only: every byte is looked at a bounded number of times however the bytes are cut.
#pragma once

#include <cstddef>
#include <string_view>

namespace halcyra {

struct TFrame {
    std::string_view body;  // between the 0x0B and the 0x1C 0x0D
    // The body does not end with a segment end (CR, or CR LF) before 0x1C 0x0D, so the program's reader
    // would not cut the message there.
    bool badEnd = false;
};

// Each message runs from a 0x0B to the next 0x1C 0x0D; bytes outside frames are skipped, and a frame cut
// off by a later 0x0B is dropped for the later one. Call Next with the same bytes, or with the bytes
// grown at their end; after dropping a prefix of the bytes, call Shift with its length.
class TFrameFinder {
public:
    // The next complete frame, or false when the bytes end before one is complete.
    bool Next(std::string_view bytes, TFrame& frame);
    // Where the bytes still needed begin: everything before this may be dropped.
    std::size_t Kept() const { return start_; }
    void Shift(std::size_t dropped);

private:
    bool haveStart_ = false;
    std::size_t start_ = 0;  // the candidate 0x0B, or where the search for one continues
    std::size_t scan_ = 0;   // no 0x0B and no 0x1C 0x0D lies in (start_, scan_)
};

}  // namespace halcyra
