// UTF-8 and UTF-16LE helpers for the file formats of the platform layer (private to it).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace halcyra::utf {

void AppendUtf8(std::string& out, std::uint32_t cp);
// Decodes one UTF-8 sequence at `i`; false for a malformed, overlong or surrogate sequence.
bool NextUtf8(std::string_view s, std::size_t& i, std::uint32_t& cp);
bool IsValidUtf8(std::string_view s);
// Appends the UTF-8 form; false when the units are not well-formed UTF-16 (odd length, unpaired surrogate).
bool Utf16LeToUtf8(std::string_view bytes, std::string& out);
// Bytes that are not UTF-8 are taken as code points of their own value.
std::string Utf8ToUtf16Le(std::string_view s);

}  // namespace halcyra::utf
