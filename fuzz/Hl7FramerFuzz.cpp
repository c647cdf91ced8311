// The live framer fed one stream whole and in the pieces a connection may deliver it in: the messages cut,
// and the too-long ones dropped, must not depend on the pieces. An end marker with no start marker before it
// cuts an empty message when its start marker arrived with it, and nothing when it came alone: such empty
// cuts carry no segment and are left out of the comparison.
#include "StreamPieces.h"
#include "hl7/MessageFramer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

using namespace halcyra;

struct TCuts {
    std::vector<TSegmentList> messages;
    int tooLong = 0;
};

TCuts Feed(std::string_view stream, const std::vector<std::size_t>& pieces)
{
    TMessageFramer framer;
    TCuts cuts;
    std::size_t at = 0;
    for (const std::size_t piece : pieces) {
        framer.Append(stream.substr(at, piece));
        at += piece;
        for (;;) {
            TSegmentList segments;
            const TMessageFramer::TCut cut = framer.CutNext(segments);
            if (cut == TMessageFramer::TCut::TooLong) {
                ++cuts.tooLong;
                continue;
            }
            if (cut != TMessageFramer::TCut::Message) break;
            if (!segments.empty()) cuts.messages.push_back(std::move(segments));
        }
    }
    return cuts;
}

void Check(bool condition, const char* what)
{
    if (condition) return;
    std::fprintf(stderr, "hl7_framer: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fuzz::TStreamPieces input = fuzz::SplitInput(data, size);
    const TCuts whole = Feed(input.stream, {input.stream.size()});
    const TCuts pieces = Feed(input.stream, input.pieces);
    Check(pieces.messages.size() == whole.messages.size(), "another number of messages in pieces");
    Check(pieces.messages == whole.messages, "other messages in pieces");
    Check(pieces.tooLong == whole.tooLong, "another number of messages too long in pieces");
    // No byte of a segment is a framing byte of its own message's frame.
    for (const TSegmentList& message : whole.messages)
        for (const std::string& segment : message) Check(segment.find('\r') == std::string::npos, "CR in a segment");
    return 0;
}
