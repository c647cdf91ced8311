// How much of a patient's identity is kept from a message. The ID names the patient's folder and the
// names go into the census, the registry, the grid and the patient's files, so each is cut to what those
// hold: a message is never refused for a long field, and a long field never costs more than its cut.
#pragma once

#include "platform/Text.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace halcyra {

// Characters of a first, last or display name.
inline constexpr std::size_t kMaxPatientNameLength = 255;
// Bytes of the ID on the host, where it is one folder name.
inline constexpr std::size_t kMaxPatientIdHostBytes = kMaxFileNameBytes;

// The first kMaxPatientNameLength characters.
std::string_view LimitPatientName(std::string_view name);
// The same in place; true when the name was cut.
bool CutPatientName(std::string& name);

// Cuts the ID to the longest beginning whose host form fits in one folder name; true when it was cut.
bool CutPatientID(std::string& id);

}  // namespace halcyra
