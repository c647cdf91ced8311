// The commands of halcyra-pil on core types: paths are host paths, texts single-byte.
#pragma once

#include "platform/DateTime.h"

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace halcyra::pil {

// A failure reported to the user as one line.
class EPilError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A host path as single-byte text for messages.
std::string Shown(const std::filesystem::path& file);

// Argument parsing; each raises EPilError naming what was wrong.
std::uint16_t ParseIndex(const std::string& text);
// A date-time double, or yyyy-mm-ddThh:nn:ss[.fff] local time.
TDateTime ParseTime(const std::string& text);
double ParseValue(const std::string& text);
std::int32_t ParseCode(const std::string& text);
std::int32_t ParseReserve(const std::string& text);

void Create(const std::filesystem::path& file, const std::string& id, const std::string& name, const std::string& kind,
            std::int32_t reserve);
// Returns the index given to the new series.
std::uint16_t Declare(const std::filesystem::path& file, const std::string& label, const std::string& unit,
                      const std::string& place, const std::string& extra, const std::string& parameterId);
void AddValue(const std::filesystem::path& file, std::uint16_t index, TDateTime time, double value);
void AddDelimiter(const std::filesystem::path& file, std::uint16_t index, TDateTime time, std::int32_t code);
// Texts are written as UTF-8, control characters escaped. Returns what is wrong with the file (UTF-8, one
// line each), after the points it could read.
std::vector<std::string> Dump(const std::filesystem::path& file, bool csv, std::ostream& out);
// What is wrong with the file (UTF-8, one line each); none for a sound file.
std::vector<std::string> Check(const std::filesystem::path& file);

}  // namespace halcyra::pil
