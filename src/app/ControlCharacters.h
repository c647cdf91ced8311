// Text from outside (registry values, patient names, messages) shown in the log and in listings: control
// characters are written as "\xNN", so a value can neither start a line of its own nor drive a terminal.
#pragma once

#include <string>
#include <string_view>

namespace halcyra {

// Escapes the C0 controls, DEL, and the five bytes Windows-1252 leaves undefined (they become C1
// controls in UTF-8); everything else, backslashes included, stays as it is.
std::string EscapeControlCharacters(std::string_view text);

}  // namespace halcyra
