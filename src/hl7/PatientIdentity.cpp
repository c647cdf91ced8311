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
        case 0x7F:  // DEL
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

}  // namespace

bool IsUsablePatientID(std::string_view cleaned)
{
    return !cleaned.empty() && !OnlyDots(cleaned);
}

void AppendCleanPatientID(std::string_view text, std::string& out)
{
    for (char c : text)
        if (!IsForbiddenInID(static_cast<unsigned char>(c))) out += c;
}

std::string CleanPatientID(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    AppendCleanPatientID(text, out);
    return out;
}

void SplitPatientNameInto(std::string_view text, TPatientNameView& name, std::string& displayName)
{
    name = {};
    if (const std::size_t first = text.find('^'); first != std::string_view::npos) {
        name.lastName = text.substr(0, first);
        const std::string_view rest = text.substr(first + 1);
        name.firstName = rest.substr(0, rest.find('^'));
        displayName.assign(name.firstName);
        displayName += ' ';
        displayName += name.lastName;
    } else if (const std::size_t space = text.find(' '); space != std::string_view::npos) {
        name.firstName = text.substr(0, space);
        name.lastName = text.substr(space + 1, 255);
        displayName.assign(text);
    } else {
        displayName.assign(text);
    }
}

TPatientName SplitPatientName(std::string_view text)
{
    TPatientNameView view;
    TPatientName name;
    SplitPatientNameInto(text, view, name.displayName);
    name.firstName = std::string(view.firstName);
    name.lastName = std::string(view.lastName);
    return name;
}

void ChoosePatientIDInto(std::string_view id, std::string_view firstName, std::string_view lastName, std::string& out)
{
    out.clear();
    AppendCleanPatientID(id, out);
    if (out != "MR" && IsUsablePatientID(out)) return;
    // A name that cleans down to nothing usable is passed over like an empty one.
    for (const std::string_view name : {lastName, firstName}) {
        out.clear();
        AppendCleanPatientID(name, out);
        if (IsUsablePatientID(out)) return;
    }
    out.assign(kNoPatientID);
}

std::string ChoosePatientID(std::string_view id, std::string_view firstName, std::string_view lastName)
{
    std::string chosen;
    ChoosePatientIDInto(id, firstName, lastName, chosen);
    return chosen;
}

}  // namespace halcyra
