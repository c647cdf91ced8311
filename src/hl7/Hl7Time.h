// HL7 time stamps: YYYYMMDDHHMMSS, then optionally a fraction of a second (".S" with one or more digits,
// ignored), then optionally the sender's zone (+HHMM or -HHMM, at most 14 hours), then optionally blanks or
// further components ("^..." such as the degree of precision, ignored). A stamp without a zone is local time;
// one with a zone is converted to the local time of the instant it names, summer time included.
// Anything else after the fourteen digits makes the stamp unreadable: a zone that cannot be read exactly
// could put a value hours off, and the callers then take the time of arrival, which is sound.
#pragma once

#include "platform/DateTime.h"

#include <string_view>

namespace halcyra {

// A time stamp further than this (one day) from the clock is a fault of the sender, not a time.
inline constexpr TDateTime kMaxStampDistance = 1.0;

// A zone may lie at most this far from UTC (the zones in use run from -12:00 to +14:00).
inline constexpr int kMaxZoneOffsetMinutes = 14 * 60;

struct THL7Stamp {
    TDateTime written = 0;  // the date and time as written, without its zone
    bool zoned = false;
    int offsetMinutes = 0;  // east of UTC (+0130 gives 90)
};

// False when the stamp is unreadable (see above; also a zoned stamp whose local time lies outside the years
// 1 to 9999); `out` is then left alone.
bool TryReadHL7Stamp(std::string_view s, THL7Stamp& out);

// The local date-time a stamp means: a zoned stamp converted to the machine's local zone, any other as
// written. Defined for every stamp TryReadHL7Stamp gives; a zoned one whose local time cannot be held gives 0.
TDateTime LocalTimeOf(const THL7Stamp& stamp);

// The local date-time of a stamp (LocalTimeOf of what TryReadHL7Stamp reads); false when it is unreadable,
// and `out` is then left alone.
bool TryHL7ToDateTime(std::string_view s, TDateTime& out);

// The local date-time of a stamp, or `fallback` (the current time, given by the caller's clock) when it
// cannot be read.
TDateTime HL7ToDateTime(std::string_view s, TDateTime fallback);
// As above with the system's current local time as the fallback.
TDateTime HL7ToDateTime(std::string_view s);

}  // namespace halcyra
