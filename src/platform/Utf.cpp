#include "platform/Utf.h"

namespace halcyra::utf {

void AppendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool NextUtf8(std::string_view s, std::size_t& i, std::uint32_t& cp)
{
    const auto lead = static_cast<unsigned char>(s[i]);
    int length = 0;
    std::uint32_t min = 0;
    if (lead < 0x80) {
        cp = lead;
        ++i;
        return true;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, min = 0x10000;
    } else {
        return false;
    }
    if (i + static_cast<std::size_t>(length) > s.size()) return false;
    for (int k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        if ((next & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return false;
    i += static_cast<std::size_t>(length);
    return true;
}

bool IsValidUtf8(std::string_view s)
{
    std::uint32_t cp = 0;
    for (std::size_t i = 0; i < s.size();)
        if (!NextUtf8(s, i, cp)) return false;
    return true;
}

bool Utf16LeToUtf8(std::string_view bytes, std::string& out)
{
    if (bytes.size() % 2 != 0) return false;
    out.reserve(out.size() + bytes.size() / 2);
    auto unit = [&](std::size_t k) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[2 * k])) |
               (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[2 * k + 1])) << 8);
    };
    const std::size_t count = bytes.size() / 2;
    for (std::size_t k = 0; k < count; ++k) {
        std::uint32_t cp = unit(k);
        if (cp >= 0xD800 && cp < 0xDC00) {
            if (k + 1 >= count) return false;
            const std::uint32_t low = unit(k + 1);
            if (low < 0xDC00 || low >= 0xE000) return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            ++k;
        } else if (cp >= 0xDC00 && cp < 0xE000) {
            return false;
        }
        AppendUtf8(out, cp);
    }
    return true;
}

std::string Utf8ToUtf16Le(std::string_view s)
{
    std::string out;
    auto put = [&](std::uint32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    };
    for (std::size_t i = 0; i < s.size();) {
        std::uint32_t cp = 0;
        if (!NextUtf8(s, i, cp)) cp = static_cast<unsigned char>(s[i++]);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(0xD800 + (cp >> 10));
            put(0xDC00 + (cp & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}

}  // namespace halcyra::utf
