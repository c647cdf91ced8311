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

// Calls visitA(position) for every byte of text equal to a and visitB(position) for every byte equal to b
// (a != b), in the order of the text: sixteen bytes at a time with SSE2 (every x86-64 machine), one at a
// time otherwise. Blocks holding no b, the common case when b is the rarer byte, take a shorter loop.
template <class VisitA, class VisitB>
void ForEachByteOf(std::string_view text, char a, VisitA&& visitA, char b, VisitB&& visitB)
{
    const char* const data = text.data();
    const std::size_t size = text.size();
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i vectorA = _mm_set1_epi8(a);
    const __m128i vectorB = _mm_set1_epi8(b);
    for (; i + 16 <= size; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        auto hitsA = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, vectorA)));
        const auto hitsB = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, vectorB)));
        if (hitsB == 0) {
            for (; hitsA != 0; hitsA &= hitsA - 1) visitA(i + static_cast<std::size_t>(std::countr_zero(hitsA)));
            continue;
        }
        for (unsigned hits = hitsA | hitsB; hits != 0; hits &= hits - 1) {
            const int bit = std::countr_zero(hits);
            if ((hitsB >> bit) & 1u)
                visitB(i + static_cast<std::size_t>(bit));
            else
                visitA(i + static_cast<std::size_t>(bit));
        }
    }
#endif
    for (; i < size; ++i) {
        if (data[i] == a)
            visitA(i);
        else if (data[i] == b)
            visitB(i);
    }
}

// Calls visit(position) for every byte of text equal to c, in order.
template <class Visit>
void ForEachByte(std::string_view text, char c, Visit&& visit)
{
    const char* const data = text.data();
    const std::size_t size = text.size();
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i vector = _mm_set1_epi8(c);
    for (; i + 16 <= size; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, vector)));
        for (; hits != 0; hits &= hits - 1) visit(i + static_cast<std::size_t>(std::countr_zero(hits)));
    }
#endif
    for (; i < size; ++i)
        if (data[i] == c) visit(i);
}

}  // namespace halcyra
