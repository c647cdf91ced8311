#include "hl7/CensusPatient.h"

#include "hl7/PatientFieldLimits.h"
#include "platform/Text.h"

#include <algorithm>
#include <cctype>

namespace halcyra {
namespace {

constexpr std::string_view kCensusValuePrefix = "Patient";
constexpr std::size_t kLastItemLength = 255;

}  // namespace

std::string CensusItem(std::string_view stored, int k)
{
    std::string_view rest = stored;
    for (int i = 0; i < k; ++i) {
        const std::size_t caret = rest.find('^');
        if (caret == std::string_view::npos) break;
        rest.remove_prefix(caret + 1);
    }
    const std::size_t caret = rest.find('^');
    if (caret != std::string_view::npos) return std::string(rest.substr(0, caret));
    return std::string(rest.substr(0, kLastItemLength));
}

TPatient PatientFromCensusValue(std::string_view stored)
{
    TPatient patient;
    // A value stored before the limits held may be longer than what a message now gives.
    patient.FirstName = LimitPatientName(CensusItem(stored, 0));
    patient.LastName = LimitPatientName(CensusItem(stored, 1));
    patient.PatientID = CensusItem(stored, 2);
    CutPatientID(patient.PatientID);
    patient.TimeStamp = CensusItem(stored, 3);
    patient.Checked = CensusItem(stored, 4) == "1";
    return patient;
}

std::string CensusValueFor(const TPatient& patient)
{
    std::string value;
    for (const std::string* item : {&patient.FirstName, &patient.LastName, &patient.PatientID, &patient.TimeStamp}) {
        // NUL is the one character a registry string cannot hold; it is kept as the log shows it.
        for (const char c : *item) {
            if (c == '\0')
                value += "\\x00";
            else
                value += c;
        }
        value += '^';
    }
    value += patient.Checked ? '1' : '0';
    return value;
}

bool IsCensusValueName(std::string_view name)
{
    if (name.size() <= kCensusValuePrefix.size()) return false;
    if (UpperAscii(name.substr(0, kCensusValuePrefix.size())) != UpperAscii(kCensusValuePrefix)) return false;
    const std::string_view digits = name.substr(kCensusValuePrefix.size());
    return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string CensusValueName(int row)
{
    return std::string(kCensusValuePrefix) + std::to_string(row);
}

std::string CensusRowText(std::string_view patientId, std::string_view name)
{
    std::string text(patientId);
    text += ", ";
    text += name;
    return text;
}

}  // namespace halcyra
