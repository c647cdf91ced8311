// The live framer fed one stream whole and in the pieces a connection may deliver it in: the messages cut
// must not depend on the pieces, and what stays buffered between reads must stay bounded. An end marker
// with no start marker before it cuts an empty message when a start marker arrived with it, and nothing
// when it came alone: such empty cuts carry no segment and are left out of the comparison.
#include "StreamPieces.h"
#include "hl7/MessageFramer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

using namespace halcyra;

void Check(bool condition, const char* what)
{
    if (condition) return;
    std::fprintf(stderr, "hl7_framer: %s\n", what);
    std::abort();
}

std::vector<TSegmentList> Feed(std::string_view stream, const std::vector<std::size_t>& pieces)
{
    TMessageFramer framer;
    std::vector<TSegmentList> messages;
    std::size_t at = 0;
    for (const std::size_t piece : pieces) {
        framer.Append(stream.substr(at, piece));
        at += piece;
        for (;;) {
            TSegmentList segments;
            const TMessageFramer::TCut cut = framer.CutNext(segments);
            if (cut == TMessageFramer::TCut::TooLong) continue;
            if (cut != TMessageFramer::TCut::Message) break;
            if (!segments.empty()) messages.push_back(std::move(segments));
        }
        // What a reader keeps between reads stays bounded.
        Check(framer.RxBuffer().size() <= TMessageFramer::kMaxBufferedWithoutEnd + piece,
              "the buffer outgrows the limit");
    }
    return messages;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fuzz::TStreamPieces input = fuzz::SplitInput(data, size);
    const std::vector<TSegmentList> whole = Feed(input.stream, {input.stream.size()});
    const std::vector<TSegmentList> pieces = Feed(input.stream, input.pieces);
    Check(pieces.size() == whole.size(), "another number of messages in pieces");
    Check(pieces == whole, "other messages in pieces");
    for (const TSegmentList& message : whole)
        for (const std::string& segment : message) Check(segment.find('\r') == std::string::npos, "CR in a segment");
    return 0;
}
