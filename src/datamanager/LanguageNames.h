// Windows locale identifiers (LCIDs), as the data manager stores its "Language" setting, and the
// three-letter abbreviated language names that name the translation modules (DEU, ENU, ...).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace halcyra {

inline constexpr std::uint32_t kLocaleEnglishUs = 1033;

// The three-letter name of a locale identifier ("DEU" for 1031), or empty when it is not known.
std::string LanguageAbbreviation(std::uint32_t localeId);

// The locale identifier of a POSIX or BCP 47 locale name ("de_DE.UTF-8", "de-AT", "nb_NO@euro", "fr"):
// the exact language and territory first, else the language's main locale, else 0.
std::uint32_t LocaleIdFromName(std::string_view name);

// The file name with its extension (the text after the last '.' of the last path element) replaced by
// `extension` (given without the dot); a name without extension gets one.
std::string ChangeFileExt(std::string_view fileName, std::string_view extension);

}  // namespace halcyra
