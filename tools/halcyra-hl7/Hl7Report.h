// Renders message summaries for people who connect a central station: readable text or one JSON object
// per message (UTF-8 either way).
#pragma once

#include "hl7/MessageSummary.h"

#include <string>

namespace halcyra {

std::string SummaryToText(int number, const TMessageSummary& summary);
// One line without the line feed.
std::string SummaryToJson(const TMessageSummary& summary);

}  // namespace halcyra
