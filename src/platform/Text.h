// Single-byte text (Windows-1252) as the core keeps it, and its conversion at the boundaries.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace halcyra {

std::string Win1252ToUtf8(std::string_view text);
// Characters with no Windows-1252 form become '?'; malformed UTF-8 bytes are taken as Windows-1252.
std::string Utf8ToWin1252(std::string_view text);

// Host paths are UTF-8 on the host and single-byte text in the core: these two are the one crossing
// between them, for paths shown in messages, the log and listings, and for paths the core names.
std::string HostPathText(const std::filesystem::path& hostPath);
std::filesystem::path HostPathFromText(std::string_view text);
// The most bytes the host's file systems take for one name in a path.
inline constexpr std::size_t kMaxFileNameBytes = 255;
// How many leading characters of the text fit in maxBytes bytes on the host (UTF-8, where a character
// above 127 takes two or three bytes).
std::size_t HostTextFittingLength(std::string_view text, std::size_t maxBytes);

// Control characters (below 32, 127, and the C1 codes Windows-1252 leaves undefined) as "\xHH", so a
// text read from a file or the network cannot add lines or terminal sequences where it is shown.
std::string EscapeControlCharacters(std::string_view text);

// Decodes UTF-16LE (without BOM) to single-byte text, '?' for what has no Windows-1252 form.
std::string Utf16LeToWin1252(std::string_view bytes);

char UpperAscii(char c);
std::string UpperAscii(std::string_view text);
std::string LowerAscii(std::string_view text);
// Equality and search that ignore the case of ASCII letters only, as the system's names do.
bool SameTextAscii(std::string_view a, std::string_view b);

std::string Trim(std::string_view text);

// "12 s", "5 min 3 s", "2 h 4 min": how long, for a person.
std::string DurationText(double seconds);

// Optional sign and decimal digits only, within the 32-bit range.
bool TryStrToInt32(std::string_view text, std::int32_t& out);

}  // namespace halcyra
