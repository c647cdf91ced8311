#include "hl7/Observation.h"

#include "hl7/ByteSearch.h"
#include "hl7/Items.h"
#include "platform/Text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string>

namespace halcyra {
namespace {

// Digit values of "0"-"9" and "A"-"F"; 16 for every other byte.
constexpr auto kHexDigits = [] {
    std::array<std::uint8_t, 256> table{};
    table.fill(16);
    for (int c = '0'; c <= '9'; ++c) table[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) table[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - 'A' + 10);
    return table;
}();

bool AddHexDigit(char c, std::uint32_t& value)
{
    const std::uint32_t digit = kHexDigits[static_cast<unsigned char>(c)];
    if (digit == 16) return false;
    value = value * 16 + digit;
    return true;
}

// Powers of ten that a double holds exactly.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMaxExactPower = 22;
// Integers below 10^15 are exact doubles.
constexpr int kMaxExactDigits = 15;

// The value text with the first `other` read as the decimal separator, without copying it.
class TValueText {
public:
    TValueText(std::string_view s, char decimalSeparator)
        : s_(s), otherPos_(FindByte(s, decimalSeparator == '.' ? ',' : '.')), separator_(decimalSeparator)
    {
    }
    char operator[](std::size_t i) const { return i == otherPos_ ? separator_ : s_[i]; }
    std::size_t size() const { return s_.size(); }

private:
    std::string_view s_;
    std::size_t otherPos_;
    char separator_;
};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The common value text: up to fifteen digits with at most one '.' or ',' and nothing else. Then either
// character is the decimal separator whichever the system's is, and the value is exact. False for
// anything else, which the full conversion handles.
bool TryPlainDecimal(std::string_view s, char decimalSeparator, double& out)
{
    if (s.empty() || s.size() > kMaxExactDigits + 1 || (decimalSeparator != '.' && decimalSeparator != ','))
        return false;
    std::uint64_t mantissa = 0;
    int digits = 0;
    int fractionDigits = 0;
    bool separator = false;
    for (const char c : s) {
        if (IsDigit(c)) {
            mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
            ++digits;
            if (separator) ++fractionDigits;
        } else if ((c == '.' || c == ',') && !separator) {
            separator = true;
        } else {
            return false;
        }
    }
    if (digits == 0 || digits > kMaxExactDigits) return false;
    out = static_cast<double>(mantissa);
    if (fractionDigits > 0) out /= kExactPowersOfTen[fractionDigits];
    return true;
}

}  // namespace

std::int32_t ObservationCode(std::string_view s)
{
    if (FindByte(s, '-') == std::string_view::npos) {
        std::int32_t code = -1;
        return TryStrToInt32(s, code) ? code : -1;
    }
    std::uint32_t value = 0;
    for (char c : s.substr(0, 4))
        if (!AddHexDigit(c, value)) return -1;
    if (s.size() > 5)
        for (char c : s.substr(5, 4))
            if (!AddHexDigit(c, value)) return -1;
    return static_cast<std::int32_t>(value);
}

bool TryValueToFloat(std::string_view s, char decimalSeparator, double& out)
{
    if (TryPlainDecimal(s, decimalSeparator, out)) return true;
    const TValueText text(s, decimalSeparator);

    // Blanks around the number, an optional sign, digits with at most one separator, an optional exponent.
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && text[begin] == ' ') ++begin;
    while (end > begin && text[end - 1] == ' ') --end;
    std::size_t i = begin;
    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::size_t mantissaBegin = i;
    std::size_t separatorPos = std::string_view::npos;
    std::uint64_t mantissa = 0;
    int significantDigits = 0;
    int fractionDigits = 0;
    // The power of ten of the first significant digit, without the exponent.
    int leadingPower = 0;
    int integerDigits = 0;
    bool mantissaDigits = false;
    for (; i < end; ++i) {
        const char c = text[i];
        if (IsDigit(c)) {
            mantissaDigits = true;
            if (separatorPos != std::string_view::npos) ++fractionDigits;
            if (mantissa != 0 || c != '0') {
                if (significantDigits == 0) leadingPower = separatorPos == std::string_view::npos ? 0 : -fractionDigits;
                if (significantDigits <= kMaxExactDigits) mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
                ++significantDigits;
            }
            if (separatorPos == std::string_view::npos && significantDigits > 0) ++integerDigits;
        } else if (c == decimalSeparator && separatorPos == std::string_view::npos) {
            separatorPos = i;
        } else {
            break;
        }
    }
    if (!mantissaDigits) return false;
    const std::size_t mantissaEnd = i;
    int exponent = 0;
    if (i < end && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool exponentNegative = false;
        if (i < end && (text[i] == '+' || text[i] == '-')) exponentNegative = text[i++] == '-';
        bool exponentDigits = false;
        for (; i < end && IsDigit(text[i]); ++i) {
            exponentDigits = true;
            if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');
        }
        if (!exponentDigits) return false;
        if (exponentNegative) exponent = -exponent;
    }
    if (i != end) return false;

    // Short decimals: both the digits and the power of ten are exact doubles, so one multiplication or
    // division rounds exactly as a full conversion does.
    const int power = exponent - fractionDigits;
    // A zero has no sign here: "-0" is the value 0.
    if (significantDigits <= kMaxExactDigits && power >= -kMaxExactPower && power <= kMaxExactPower) {
        const auto digits = static_cast<double>(mantissa);
        const double value = power >= 0 ? digits * kExactPowersOfTen[power] : digits / kExactPowersOfTen[-power];
        out = negative && value != 0 ? -value : value;
        return true;
    }

    std::string number;
    if (negative) number += '-';
    for (std::size_t k = mantissaBegin; k < mantissaEnd; ++k) number += k == separatorPos ? '.' : text[k];
    if (mantissaEnd < end) {
        number += 'e';
        for (std::size_t k = mantissaEnd + 1; k < end; ++k) number += text[k];
    }
    double value = 0;
    const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ptr != number.data() + number.size()) return false;
    if (ec == std::errc::result_out_of_range) {
        // Too small for a double is a number that rounds to 0; too large is none.
        const int magnitude = (integerDigits > 0 ? integerDigits - 1 : leadingPower) + exponent;
        if (magnitude >= 0) return false;
        value = 0;
    } else if (ec != std::errc() || !std::isfinite(value)) {
        return false;
    }
    out = value == 0 ? 0.0 : value;
    return true;
}

double ValueToFloat(std::string_view s, char decimalSeparator)
{
    double value = 0;
    return TryValueToFloat(s, decimalSeparator, value) ? value : 0;
}

std::string_view ObservationUnit(std::string_view field)
{
    const std::size_t caret = FindByte(field, kComponentSeparator);
    if (caret == std::string_view::npos) return field;
    const std::string_view rest = field.substr(caret + 1);
    return rest.substr(0, FindByte(rest, kComponentSeparator));
}

}  // namespace halcyra
