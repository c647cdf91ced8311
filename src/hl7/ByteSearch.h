// Finding the positions of one or two byte values in a buffer, eight bytes at a time: the separators of
// a message lie a few bytes apart, too close for a library search per separator to pay off.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace halcyra {

namespace bytesearch {
inline constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
inline constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;

// The high bit of each byte of the result is set exactly where that byte of x is zero.
constexpr std::uint64_t ZeroBytes(std::uint64_t x)
{
    return ~(((x & kLow7) + kLow7) | x | kLow7);
}
}  // namespace bytesearch

// Calls visit(position, byte) for every byte of text equal to a or b, in order.
template <class Visit>
void ForEachByteOf(std::string_view text, char a, char b, Visit&& visit)
{
    const char* const data = text.data();
    const std::size_t size = text.size();
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        const std::uint64_t wordA = bytesearch::kOnes * static_cast<unsigned char>(a);
        const std::uint64_t wordB = bytesearch::kOnes * static_cast<unsigned char>(b);
        for (; i + 8 <= size; i += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, data + i, 8);
            std::uint64_t hits = bytesearch::ZeroBytes(word ^ wordA) | bytesearch::ZeroBytes(word ^ wordB);
            while (hits != 0) {
                const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(hits)) / 8;
                visit(at, data[at]);
                hits &= hits - 1;
            }
        }
    }
    for (; i < size; ++i)
        if (data[i] == a || data[i] == b) visit(i, data[i]);
}

}  // namespace halcyra
