// Finding bytes in the short texts of a message. The separators of a message lie a few bytes apart and
// its fields are short, where a library call per search costs more than the search itself.
#pragma once

#include <bit>
#include <cstddef>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace halcyra {

// Position of the first c in text, or npos; an inline loop for short texts.
inline std::size_t FindByte(std::string_view text, char c)
{
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == c) return i;
    return std::string_view::npos;
}

// Calls visit(position, byte) for every byte of text equal to a or b, in order: sixteen bytes at a time
// with SSE2 (every x86-64 machine), one at a time otherwise.
template <class Visit>
void ForEachByteOf(std::string_view text, char a, char b, Visit&& visit)
{
    const char* const data = text.data();
    const std::size_t size = text.size();
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i vectorA = _mm_set1_epi8(a);
    const __m128i vectorB = _mm_set1_epi8(b);
    for (; i + 16 <= size; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        auto hits = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, vectorA), _mm_cmpeq_epi8(block, vectorB))));
        while (hits != 0) {
            const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(hits));
            visit(at, data[at]);
            hits &= hits - 1;
        }
    }
#endif
    for (; i < size; ++i)
        if (data[i] == a || data[i] == b) visit(i, data[i]);
}

}  // namespace halcyra
