// The program's data resource "DEFAULT": the 271-byte patient file every new patient starts from.
#pragma once

#include <string_view>

namespace halcyra {

inline constexpr std::size_t kDefaultPatientTemplateSize = 271;

// The bytes of the resource, built into the program from resources/DEFAULT.
std::string_view DefaultPatientTemplate();

}  // namespace halcyra
