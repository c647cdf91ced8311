#include "hl7/Hl7Time.h"

namespace halcyra {
namespace {

bool ReadNumber(std::string_view s, std::size_t pos, std::size_t length, int& out)
{
    if (s.size() < pos + length) return false;
    int value = 0;
    for (std::size_t i = pos; i < pos + length; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        value = value * 10 + (s[i] - '0');
    }
    out = value;
    return true;
}

}  // namespace

bool TryHL7ToDateTime(std::string_view s, TDateTime& out)
{
    TDateTimeParts parts;
    if (!ReadNumber(s, 0, 4, parts.year) || !ReadNumber(s, 4, 2, parts.month) || !ReadNumber(s, 6, 2, parts.day) ||
        !ReadNumber(s, 8, 2, parts.hour) || !ReadNumber(s, 10, 2, parts.minute) || !ReadNumber(s, 12, 2, parts.second))
        return false;
    return TryEncodeDateTime(parts, out);
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
