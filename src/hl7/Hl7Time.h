// HL7 time stamps (YYYYMMDDHHMMSS, local time, anything after the seconds ignored).
#pragma once

#include "platform/DateTime.h"

#include <string_view>

namespace halcyra {

// A time stamp further than this (one day) from the clock is a fault of the sender, not a time.
inline constexpr TDateTime kMaxStampDistance = 1.0;

// False when any of the fourteen leading characters is missing or not a digit, or the date or time is not
// a real one; `out` is then left alone.
bool TryHL7ToDateTime(std::string_view s, TDateTime& out);

// The time stamp, or `fallback` (the current time, given by the caller's clock) when it cannot be read.
TDateTime HL7ToDateTime(std::string_view s, TDateTime fallback);
// As above with the system's current local time as the fallback.
TDateTime HL7ToDateTime(std::string_view s);

}  // namespace halcyra
