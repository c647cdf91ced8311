#include "hl7/PatientIdentity.h"

namespace halcyra {
namespace {

bool IsForbiddenInID(unsigned char c)
{
    switch (c) {
        case ' ':
        case '"':
        case '*':
        case '-':
        case '/':
        case ':':
        case '<':
        case '>':
        case '?':
        case '\\':
        case '^':
        case '|':
            return true;
        default:
            return c < 32;
    }
}

// "." and ".." would name the data folder itself or its parent.
bool OnlyDots(std::string_view text)
{
    return text.find_first_not_of('.') == std::string_view::npos;
}

bool UsableName(std::string_view cleaned)
{
    return !cleaned.empty() && !OnlyDots(cleaned);
}

}  // namespace

std::string CleanPatientID(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (!IsForbiddenInID(static_cast<unsigned char>(c))) out += c;
    return out;
}

TPatientName SplitPatientName(std::string_view text)
{
    TPatientName name;
    if (text.find('^') != std::string_view::npos) {
        const std::size_t first = text.find('^');
        name.lastName = std::string(text.substr(0, first));
        std::string_view rest = text.substr(first + 1);
        name.firstName = std::string(rest.substr(0, rest.find('^')));
        name.displayName = name.firstName + " " + name.lastName;
    } else if (const std::size_t space = text.find(' '); space != std::string_view::npos) {
        name.firstName = std::string(text.substr(0, space));
        name.lastName = std::string(text.substr(space + 1, 255));
        name.displayName = std::string(text);
    } else {
        name.displayName = std::string(text);
    }
    return name;
}

std::string ChoosePatientID(std::string_view id, std::string_view firstName, std::string_view lastName)
{
    std::string chosen = CleanPatientID(id);
    if (chosen != "MR" && UsableName(chosen)) return chosen;
    // A name that cleans down to nothing usable is passed over like an empty one.
    chosen = CleanPatientID(lastName);
    if (UsableName(chosen)) return chosen;
    chosen = CleanPatientID(firstName);
    if (UsableName(chosen)) return chosen;
    return std::string(kNoPatientID);
}

}  // namespace halcyra
