// The patient's identity from PID-3 and PID-5. The ID later names the patient's folder, so whatever it
// keeps must be safe as one path component.
#pragma once

#include <string>
#include <string_view>

namespace halcyra {

// Marks a patient without identity; observations of such a patient are never used.
inline constexpr std::string_view kNoPatientID = "TOVNULL";

struct TPatientName {
    std::string firstName;
    std::string lastName;
    std::string displayName;
};

// Removes space, '"', '*', '-', '/', ':', '<', '>', '?', '\', '^', '|' and every control character
// (codes below 32), none of which may appear in a folder name.
std::string CleanPatientID(std::string_view text);

// "Last^First", "First Last..." (last name at most 255 characters) or a single word (display name only).
TPatientName SplitPatientName(std::string_view text);

// The cleaned ID, unless it is empty, "MR" or only dots; then the cleaned last name, the cleaned first
// name (each unless empty or only dots), or "TOVNULL".
std::string ChoosePatientID(std::string_view id, std::string_view firstName, std::string_view lastName);

}  // namespace halcyra
