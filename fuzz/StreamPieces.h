// A stream and the pieces a connection delivers it in, both from one fuzz input: the first eight bytes seed
// the piece lengths, the rest is the stream. Lengths run from 1 to 2^k bytes, k chosen per piece, so that
// single bytes and large reads both occur.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace halcyra::fuzz {

struct TStreamPieces {
    std::string_view stream;
    std::vector<std::size_t> pieces;  // lengths, adding up to the stream's
    std::uint64_t seed = 0;           // what is left of the seed, for other choices
};

inline std::uint64_t NextRandom(std::uint64_t& state)
{
    // xorshift64*: a zero state would stay zero.
    if (state == 0) state = 0x9E3779B97F4A7C15ULL;
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * 0x2545F4914F6CDD1DULL;
}

inline TStreamPieces SplitInput(const std::uint8_t* data, std::size_t size)
{
    TStreamPieces out;
    std::size_t used = 0;
    for (; used < 8 && used < size; ++used) out.seed = (out.seed << 8) | data[used];
    out.stream = std::string_view(reinterpret_cast<const char*>(data) + used, size - used);
    std::uint64_t state = out.seed;
    for (std::size_t at = 0; at < out.stream.size();) {
        const std::uint64_t r = NextRandom(state);
        const std::size_t length = 1 + static_cast<std::size_t>((r >> 8) % (std::size_t{1} << (r % 11)));
        const std::size_t piece = length < out.stream.size() - at ? length : out.stream.size() - at;
        out.pieces.push_back(piece);
        at += piece;
    }
    out.seed = state;
    return out;
}

}  // namespace halcyra::fuzz
