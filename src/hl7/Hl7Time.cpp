#include "hl7/Hl7Time.h"

namespace halcyra {
namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool ReadNumber(std::string_view s, std::size_t pos, std::size_t length, int& out)
{
    if (s.size() < pos + length) return false;
    int value = 0;
    for (std::size_t i = pos; i < pos + length; ++i) {
        if (!IsDigit(s[i])) return false;
        value = value * 10 + (s[i] - '0');
    }
    out = value;
    return true;
}

// What follows the fourteen digits: [.digits][+HHMM|-HHMM][blanks][^anything]. False on anything else.
bool ReadTail(std::string_view tail, bool& zoned, int& offsetMinutes)
{
    std::size_t pos = 0;
    if (pos < tail.size() && tail[pos] == '.') {
        const std::size_t digits = ++pos;
        while (pos < tail.size() && IsDigit(tail[pos])) ++pos;
        if (pos == digits) return false;
    }
    zoned = false;
    offsetMinutes = 0;
    if (pos < tail.size() && (tail[pos] == '+' || tail[pos] == '-')) {
        const int sign = tail[pos] == '-' ? -1 : 1;
        int hours = 0;
        int minutes = 0;
        if (!ReadNumber(tail, pos + 1, 2, hours) || !ReadNumber(tail, pos + 3, 2, minutes) || minutes >= 60 ||
            hours * 60 + minutes > kMaxZoneOffsetMinutes)
            return false;
        pos += 5;
        zoned = true;
        offsetMinutes = sign * (hours * 60 + minutes);
    }
    while (pos < tail.size() && tail[pos] == ' ') ++pos;
    return pos == tail.size() || tail[pos] == '^';
}

bool TryLocalTimeOf(const THL7Stamp& stamp, TDateTime& out)
{
    if (!stamp.zoned) {
        out = stamp.written;
        return true;
    }
    const TDateTimeParts written = DecodeDateTime(stamp.written);
    // The written time less its offset is the instant in UTC.
    const std::time_t instant = UnixTimeFromUtc(written) - static_cast<std::time_t>(stamp.offsetMinutes) * 60;
    return TryFromUnixTime(instant, written.millisecond, out);
}

// The stamp and its local time, both from one reading.
bool ReadStamp(std::string_view s, THL7Stamp& stamp, TDateTime& local)
{
    TDateTimeParts parts;
    return ReadNumber(s, 0, 4, parts.year) && ReadNumber(s, 4, 2, parts.month) && ReadNumber(s, 6, 2, parts.day) &&
           ReadNumber(s, 8, 2, parts.hour) && ReadNumber(s, 10, 2, parts.minute) &&
           ReadNumber(s, 12, 2, parts.second) && ReadTail(s.substr(14), stamp.zoned, stamp.offsetMinutes) &&
           TryEncodeDateTime(parts, stamp.written) && TryLocalTimeOf(stamp, local);
}

}  // namespace

bool TryReadHL7Stamp(std::string_view s, THL7Stamp& out)
{
    THL7Stamp stamp;
    TDateTime local = 0;
    if (!ReadStamp(s, stamp, local)) return false;
    out = stamp;
    return true;
}

TDateTime LocalTimeOf(const THL7Stamp& stamp)
{
    TDateTime local = 0;
    TryLocalTimeOf(stamp, local);
    return local;
}

bool TryHL7ToDateTime(std::string_view s, TDateTime& out)
{
    THL7Stamp stamp;
    TDateTime local = 0;
    if (!ReadStamp(s, stamp, local)) return false;
    out = local;
    return true;
}

TDateTime HL7ToDateTime(std::string_view s, TDateTime fallback)
{
    TDateTime result = fallback;
    TryHL7ToDateTime(s, result);
    return result;
}

TDateTime HL7ToDateTime(std::string_view s)
{
    return HL7ToDateTime(s, NowLocal());
}

}  // namespace halcyra
