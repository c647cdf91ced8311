// Renders what the program takes from a message for people who connect a central station: readable text
// or one JSON object per message (UTF-8 either way). Control characters of the stream never reach the
// terminal raw: the text shows them as \xHH, the JSON as \u00HH.
#pragma once

#include "hl7/MessageFields.h"

#include <string>
#include <string_view>

namespace halcyra {

std::string SummaryToText(int number, const TMessageFields& message);
// One line without the line feed.
std::string SummaryToJson(const TMessageFields& message);

// Single-byte text as UTF-8 with every control character (C0, DEL and the C1 codes that Windows-1252
// leaves undefined) written as \xHH.
std::string Printable(std::string_view singleByte);

}  // namespace halcyra
