// Turns a message into the writes that carry it: framed (0x0B, segments, 0x1C 0x0D), and, on request,
// spoiled the ways real senders and networks spoil a stream.
#pragma once

#include "SimRandom.h"

#include "hl7/MessageSplitter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cssim {

struct TFaults {
    bool crlf = false;   // segments end with CR LF instead of CR
    double garbage = 0;  // probability of stray bytes (never 0x0B or 0x1C) before a message
    double split = 0;    // probability of a frame written in pieces, half the time cut inside its end marker
    int dropEvery = 0;   // every n-th message is cut off in the middle and the connection dropped
};

struct TWrite {
    std::string bytes;
    bool pauseBefore = false;  // a later piece of a split frame: written after a short pause
    bool dropAfter = false;    // the connection is dropped after this write
};

class TStreamShaper {
public:
    TStreamShaper(const TFaults& faults, std::uint64_t seed) : faults_(faults), random_(seed) {}

    std::vector<TWrite> Shape(const halcyra::TSegmentList& segments);

private:
    TFaults faults_;
    TSimRandom random_;
    std::uint64_t messages_ = 0;
};

}  // namespace cssim
