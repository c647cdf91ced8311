#include "hl7/Observation.h"

#include "hl7/Items.h"

#include <charconv>
#include <cmath>
#include <string>

namespace halcyra {

bool TryStrToInt32(std::string_view text, std::int32_t& out)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return false;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
        if (value > std::int64_t{1} << 31) return false;
    }
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return false;
    out = static_cast<std::int32_t>(value);
    return true;
}

std::int32_t ObservationCode(std::string_view s)
{
    if (s.find('-') == std::string_view::npos) {
        std::int32_t code = -1;
        return TryStrToInt32(s, code) ? code : -1;
    }
    std::string digits(s.substr(0, 4));
    if (s.size() > 5) digits += s.substr(5, 4);
    std::uint32_t value = 0;
    for (char c : digits) {
        std::uint32_t digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<std::uint32_t>(c - '0');
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        else
            return -1;
        value = value * 16 + digit;
    }
    return static_cast<std::int32_t>(value);
}

double ValueToFloat(std::string_view s, char decimalSeparator)
{
    const char other = decimalSeparator == '.' ? ',' : '.';
    std::string text(s);
    if (const std::size_t pos = text.find(other); pos != std::string::npos) text[pos] = decimalSeparator;

    // Blanks around the number, an optional sign, digits with at most one separator, an optional exponent.
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && text[begin] == ' ') ++begin;
    while (end > begin && text[end - 1] == ' ') --end;
    std::string number;
    std::size_t i = begin;
    if (i < end && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') number += '-';
        ++i;
    }
    bool mantissaDigits = false;
    bool seenSeparator = false;
    for (; i < end; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            number += c;
            mantissaDigits = true;
        } else if (c == decimalSeparator && !seenSeparator) {
            number += '.';
            seenSeparator = true;
        } else {
            break;
        }
    }
    if (!mantissaDigits) return 0;
    if (i < end && (text[i] == 'e' || text[i] == 'E')) {
        number += 'e';
        ++i;
        if (i < end && (text[i] == '+' || text[i] == '-')) number += text[i++];
        bool exponentDigits = false;
        for (; i < end && text[i] >= '0' && text[i] <= '9'; ++i) {
            number += text[i];
            exponentDigits = true;
        }
        if (!exponentDigits) return 0;
    }
    if (i != end) return 0;

    double value = 0;
    const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec != std::errc() || ptr != number.data() + number.size() || !std::isfinite(value)) return 0;
    return value;
}

std::string_view ObservationUnit(std::string_view field)
{
    return field.find('^') != std::string_view::npos ? GetComponent(field, 2) : field;
}

}  // namespace halcyra
