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

// Views into the PID-5 text.
struct TPatientNameView {
    std::string_view firstName;
    std::string_view lastName;
};

// Removes space, '"', '*', '-', '/', ':', '<', '>', '?', '\', '^', '|' and every control character
// (codes below 32 and DEL), none of which may appear in a folder name.
std::string CleanPatientID(std::string_view text);
void AppendCleanPatientID(std::string_view text, std::string& out);
// Whether a cleaned ID can name a folder of its own: not empty and not only dots.
bool IsUsablePatientID(std::string_view cleaned);

// "Last^First", "First Last..." (last name at most 255 characters) or a single word (display name only).
TPatientName SplitPatientName(std::string_view text);
// The same into views of the text and a caller's buffer, which keeps its capacity between messages.
void SplitPatientNameInto(std::string_view text, TPatientNameView& name, std::string& displayName);

// The cleaned ID, unless it is empty, "MR" or only dots; then the cleaned last name, the cleaned first
// name (each unless empty or only dots), or "TOVNULL".
std::string ChoosePatientID(std::string_view id, std::string_view firstName, std::string_view lastName);
// The same into a caller's buffer.
void ChoosePatientIDInto(std::string_view id, std::string_view firstName, std::string_view lastName, std::string& out);

}  // namespace halcyra
