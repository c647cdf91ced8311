// The patient record behind a census row, and its registry text: five items joined by "^" in a value
// named "Patient" followed by the row number.
#pragma once

#include <string>
#include <string_view>

namespace halcyra {

struct TPatient {
    std::string TimeStamp;  // "yyyymmddhhnnss", local time: when last seen (refreshed at each save while present)
    std::string FirstName;
    std::string LastName;
    std::string PatientID;  // after cleaning and reduction; the key of the census
    bool Checked = false;   // the row's tick as last seen by the census

    bool operator==(const TPatient&) const = default;
};

// Item k (from 0) of a stored text: k times everything up to and including the first "^" is removed (the
// removing stops early when no "^" is left); the item is the text before the next "^", or the first 255
// characters of the rest. A missing item therefore repeats the last item present.
std::string CensusItem(std::string_view stored, int k);

// Items 0 to 4: first name, last name, ID, time stamp, "1" for ticked; names and ID cut to their limits
// (PatientFieldLimits.h).
TPatient PatientFromCensusValue(std::string_view stored);
// The stored text; a NUL, which a registry string cannot hold, is written as "\x00".
std::string CensusValueFor(const TPatient& patient);

// "Patient" followed by one or more decimal digits (the name compares without regard to case, as
// registry names do).
bool IsCensusValueName(std::string_view name);
std::string CensusValueName(int row);

// The row text: ID, ", ", then the name.
std::string CensusRowText(std::string_view patientId, std::string_view name);

}  // namespace halcyra
