// Observation identifier, value and unit of an OBX segment.
#pragma once

#include <cstdint>
#include <string_view>

namespace halcyra {

// The parameter code of OBX-3 component 1. Without a hyphen: the decimal number, or -1. With one:
// characters 1-4 and 6-9 (those present) read as one hexadecimal number, "0002-4182" giving 0x24182;
// any character other than 0-9 and A-F there makes the code -1. Eight digits wrap into the signed range.
std::int32_t ObservationCode(std::string_view s);

// The value text as a number: the first '.' or ',' (whichever is not the decimal separator) counts as
// the decimal separator; blanks around the number and an exponent are allowed. False, with out left
// alone, for anything else: an empty or blank text, other characters, "NaN", "inf", hexadecimal, and a
// number too large for a double. A number too small for one is 0, and a zero is never negative ("-0" is 0).
bool TryValueToFloat(std::string_view s, char decimalSeparator, double& out);
// The same, with 0 for a text that is not a number.
double ValueToFloat(std::string_view s, char decimalSeparator = '.');

// Component 2 of OBX-6 when it holds a '^', else the whole text.
std::string_view ObservationUnit(std::string_view field);

}  // namespace halcyra
