#include "app/ControlCharacters.h"

namespace halcyra {
namespace {

bool IsControl(unsigned char c)
{
    return c < 0x20 || c == 0x7F || c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

}  // namespace

std::string EscapeControlCharacters(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    escaped.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (!IsControl(c)) {
            escaped += ch;
            continue;
        }
        escaped += "\\x";
        escaped += kHex[c >> 4];
        escaped += kHex[c & 0xF];
    }
    return escaped;
}

}  // namespace halcyra
