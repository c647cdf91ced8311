#include "platform/Text.h"

#include "platform/Utf.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace halcyra {
namespace {

// Code points of 0x80..0x9F; 0 where Windows-1252 leaves the byte undefined (kept as the C1 control).
constexpr std::array<std::uint16_t, 32> kHigh = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                                 0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::uint32_t CodePointOf(unsigned char byte)
{
    if (byte >= 0x80 && byte < 0xA0 && kHigh[byte - 0x80] != 0) return kHigh[byte - 0x80];
    return byte;
}

char ByteOf(std::uint32_t codePoint)
{
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint < 0x100)) return static_cast<char>(codePoint);
    for (std::size_t i = 0; i < kHigh.size(); ++i)
        if (kHigh[i] == codePoint) return static_cast<char>(0x80 + i);
    if (codePoint >= 0x80 && codePoint < 0xA0) return static_cast<char>(codePoint);
    return '?';
}

}  // namespace

std::string Win1252ToUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) utf::AppendUtf8(out, CodePointOf(static_cast<unsigned char>(c)));
    return out;
}

std::string Utf8ToWin1252(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        std::uint32_t cp = 0;
        if (utf::NextUtf8(text, i, cp)) {
            out += ByteOf(cp);
        } else {
            out += text[i];  // not UTF-8: taken as the single-byte text it probably is
            ++i;
        }
    }
    return out;
}

std::string HostPathText(const std::filesystem::path& hostPath)
{
    return Utf8ToWin1252(hostPath.native());
}

std::filesystem::path HostPathFromText(std::string_view text)
{
    return std::filesystem::path(Win1252ToUtf8(text));
}

std::size_t HostTextFittingLength(std::string_view text, std::size_t maxBytes)
{
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::uint32_t cp = CodePointOf(static_cast<unsigned char>(text[i]));
        bytes += cp < 0x80 ? 1 : cp < 0x800 ? 2 : 3;
        if (bytes > maxBytes) return i;
    }
    return text.size();
}

std::string EscapeControlCharacters(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool control = byte < 0x20 || byte == 0x7F || (byte >= 0x80 && byte < 0xA0 && kHigh[byte - 0x80] == 0);
        if (!control) {
            out += c;
            continue;
        }
        static constexpr char kHex[] = "0123456789ABCDEF";
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
    }
    return out;
}

std::string Utf16LeToWin1252(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        std::uint32_t unit = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (unit >= 0xD800 && unit < 0xE000) {
            // A surrogate pair has no single-byte form.
            if (unit < 0xDC00 && i + 3 < bytes.size()) i += 2;
            out += '?';
            continue;
        }
        out += ByteOf(unit);
    }
    return out;
}

char UpperAscii(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string UpperAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out) c = UpperAscii(c);
    return out;
}

std::string LowerAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool SameTextAscii(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    return true;
}

std::string Trim(std::string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
    return std::string(text.substr(begin, end - begin));
}

bool TryStrToInt32(std::string_view text, std::int32_t& out)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return false;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
        if (value > std::int64_t{1} << 31) return false;
    }
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return false;
    out = static_cast<std::int32_t>(value);
    return true;
}

std::string DurationText(double seconds)
{
    const auto s = static_cast<long long>(std::llround(std::max(0.0, seconds)));
    if (s < 120) return std::to_string(s) + " s";
    if (s < 7200) return std::to_string(s / 60) + " min" + (s % 60 != 0 ? " " + std::to_string(s % 60) + " s" : "");
    return std::to_string(s / 3600) + " h " + std::to_string(s / 60 % 60) + " min";
}

}  // namespace halcyra
