#include "datamanager/LanguageNames.h"

#include "platform/Text.h"

#include <array>

namespace halcyra {

namespace {

struct TLocaleEntry {
    std::uint32_t id;
    const char* abbreviation;
    const char* language;   // ISO 639-1
    const char* territory;  // ISO 3166-1
};

// For each language, the first entry is its main locale (what a name without territory maps to).
constexpr std::array kLocales = {
    TLocaleEntry{1033, "ENU", "en", "US"},
    TLocaleEntry{2057, "ENG", "en", "GB"},
    TLocaleEntry{3081, "ENA", "en", "AU"},
    TLocaleEntry{4105, "ENC", "en", "CA"},
    TLocaleEntry{5129, "ENZ", "en", "NZ"},
    TLocaleEntry{6153, "ENI", "en", "IE"},
    TLocaleEntry{7177, "ENS", "en", "ZA"},
    TLocaleEntry{1031, "DEU", "de", "DE"},
    TLocaleEntry{2055, "DES", "de", "CH"},
    TLocaleEntry{3079, "DEA", "de", "AT"},
    TLocaleEntry{4103, "DEL", "de", "LU"},
    TLocaleEntry{5127, "DEC", "de", "LI"},
    TLocaleEntry{1036, "FRA", "fr", "FR"},
    TLocaleEntry{2060, "FRB", "fr", "BE"},
    TLocaleEntry{3084, "FRC", "fr", "CA"},
    TLocaleEntry{4108, "FRS", "fr", "CH"},
    TLocaleEntry{5132, "FRL", "fr", "LU"},
    TLocaleEntry{1053, "SVE", "sv", "SE"},
    TLocaleEntry{2077, "SVF", "sv", "FI"},
    TLocaleEntry{1030, "DAN", "da", "DK"},
    TLocaleEntry{1044, "NOR", "nb", "NO"},
    TLocaleEntry{1044, "NOR", "no", "NO"},
    TLocaleEntry{2068, "NON", "nn", "NO"},
    TLocaleEntry{1035, "FIN", "fi", "FI"},
    TLocaleEntry{1043, "NLD", "nl", "NL"},
    TLocaleEntry{2067, "NLB", "nl", "BE"},
    TLocaleEntry{1040, "ITA", "it", "IT"},
    TLocaleEntry{2064, "ITS", "it", "CH"},
    // Spanish (Spain) has two identifiers; the modern sort is what a system reports today.
    TLocaleEntry{3082, "ESN", "es", "ES"},
    TLocaleEntry{1034, "ESP", "es", "ES"},
    TLocaleEntry{2058, "ESM", "es", "MX"},
    TLocaleEntry{1046, "PTB", "pt", "BR"},
    TLocaleEntry{2070, "PTG", "pt", "PT"},
    TLocaleEntry{1039, "ISL", "is", "IS"},
    TLocaleEntry{1045, "PLK", "pl", "PL"},
    TLocaleEntry{1029, "CSY", "cs", "CZ"},
    TLocaleEntry{1051, "SKY", "sk", "SK"},
    TLocaleEntry{1038, "HUN", "hu", "HU"},
    TLocaleEntry{1060, "SLV", "sl", "SI"},
    TLocaleEntry{1050, "HRV", "hr", "HR"},
    TLocaleEntry{1048, "ROM", "ro", "RO"},
    TLocaleEntry{1026, "BGR", "bg", "BG"},
    TLocaleEntry{1032, "ELL", "el", "GR"},
    TLocaleEntry{1055, "TRK", "tr", "TR"},
    TLocaleEntry{1049, "RUS", "ru", "RU"},
    TLocaleEntry{1058, "UKR", "uk", "UA"},
    TLocaleEntry{1061, "ETI", "et", "EE"},
    TLocaleEntry{1062, "LVI", "lv", "LV"},
    TLocaleEntry{1063, "LTH", "lt", "LT"},
    TLocaleEntry{1027, "CAT", "ca", "ES"},
    TLocaleEntry{1037, "HEB", "he", "IL"},
    TLocaleEntry{1025, "ARA", "ar", "SA"},
    TLocaleEntry{1041, "JPN", "ja", "JP"},
    TLocaleEntry{1042, "KOR", "ko", "KR"},
    TLocaleEntry{2052, "CHS", "zh", "CN"},
    TLocaleEntry{1028, "CHT", "zh", "TW"},
    TLocaleEntry{1054, "THA", "th", "TH"},
    TLocaleEntry{1057, "IND", "id", "ID"},
};

}  // namespace

std::string LanguageAbbreviation(std::uint32_t localeId)
{
    for (const auto& entry : kLocales) {
        if (entry.id == localeId) return entry.abbreviation;
    }
    return {};
}

std::uint32_t LocaleIdFromName(std::string_view name)
{
    // Drop the code set and modifier; then the language comes first and the territory is the first
    // two-letter subtag after it (a script subtag such as "Latn" may sit between them).
    name = name.substr(0, name.find_first_of(".@"));
    std::string language;
    std::string territory;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("_-", start);
        if (end == std::string_view::npos) end = name.size();
        const std::string_view part = name.substr(start, end - start);
        if (start == 0) {
            language = LowerAscii(part);
        } else if (territory.empty() && part.size() == 2) {
            territory = UpperAscii(part);
        }
        start = end + 1;
    }
    if (language.empty()) return 0;
    for (const auto& entry : kLocales) {
        if (language == entry.language && territory == entry.territory) return entry.id;
    }
    for (const auto& entry : kLocales) {
        if (language == entry.language) return entry.id;
    }
    return 0;
}

std::string ChangeFileExt(std::string_view fileName, std::string_view extension)
{
    const std::size_t slash = fileName.find_last_of('/');
    const std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
    std::size_t dot = fileName.find_last_of('.');
    if (dot == std::string_view::npos || dot < start) dot = fileName.size();
    std::string result(fileName.substr(0, dot));
    result += '.';
    result += extension;
    return result;
}

}  // namespace halcyra
