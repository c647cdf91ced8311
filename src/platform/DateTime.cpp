#include "platform/DateTime.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace halcyra {
namespace {

constexpr std::int64_t kMsPerDay = 86400000;

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 0001-01-01 to the date (proleptic Gregorian), as Delphi counts them.
std::int64_t DaysFromCivil(int year, int month, int day)
{
    // Howard Hinnant's algorithm, shifted so that 1899-12-30 is day 0.
    const int y = month <= 2 ? year - 1 : year;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned mp = static_cast<unsigned>(month > 2 ? month - 3 : month + 9);
    const unsigned doy = (153 * mp + 2) / 5 + static_cast<unsigned>(day) - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t unixDays = static_cast<std::int64_t>(era) * 146097 + doe - 719468;
    return unixDays + 25569;  // 1970-01-01 is day 25569
}

void CivilFromDays(std::int64_t days, int& year, int& month, int& day)
{
    const std::int64_t z = days - 25569 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(month <= 2 ? y + 1 : y);
}

std::string Pad(int value, int width)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
    return buffer;
}

}  // namespace

bool IsValidDateTime(const TDateTimeParts& p)
{
    return p.year >= 1 && p.year <= 9999 && p.month >= 1 && p.month <= 12 && p.day >= 1 &&
           p.day <= DaysInMonth(p.year, p.month) && p.hour >= 0 && p.hour < 24 && p.minute >= 0 && p.minute < 60 &&
           p.second >= 0 && p.second < 60 && p.millisecond >= 0 && p.millisecond < 1000;
}

bool TryEncodeDateTime(const TDateTimeParts& p, TDateTime& out)
{
    if (!IsValidDateTime(p)) return false;
    const double days = static_cast<double>(DaysFromCivil(p.year, p.month, p.day));
    const double time =
        static_cast<double>(((p.hour * 60 + p.minute) * 60 + p.second) * 1000 + p.millisecond) / kMsPerDay;
    // Before the epoch the fraction still counts forward from midnight: -1.25 is 29 Dec 1899 06:00.
    out = days >= 0 ? days + time : days - time;
    return true;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int millisecond)
{
    TDateTime result = 0;
    TryEncodeDateTime({year, month, day, hour, minute, second, millisecond}, result);
    return result;
}

TDateTimeParts DecodeDateTime(TDateTime value)
{
    TDateTimeParts p;
    if (!std::isfinite(value)) return p;
    std::int64_t days = static_cast<std::int64_t>(std::trunc(value));
    std::int64_t ms = std::llround(std::fabs(value - static_cast<double>(days)) * kMsPerDay);
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        days += value >= 0 ? 1 : -1;
    }
    CivilFromDays(days, p.year, p.month, p.day);
    p.millisecond = static_cast<int>(ms % 1000);
    ms /= 1000;
    p.second = static_cast<int>(ms % 60);
    ms /= 60;
    p.minute = static_cast<int>(ms % 60);
    p.hour = static_cast<int>(ms / 60);
    return p;
}

TDateTime FromUnixTime(std::time_t seconds, int milliseconds)
{
    std::tm local{};
    localtime_r(&seconds, &local);
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                          local.tm_sec > 59 ? 59 : local.tm_sec, milliseconds);
}

std::time_t ToUnixTime(TDateTime value)
{
    const TDateTimeParts p = DecodeDateTime(value);
    std::tm local{};
    local.tm_year = p.year - 1900;
    local.tm_mon = p.month - 1;
    local.tm_mday = p.day;
    local.tm_hour = p.hour;
    local.tm_min = p.minute;
    local.tm_sec = p.second;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

bool TryFromUnixTime(std::time_t seconds, int milliseconds, TDateTime& out)
{
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) return false;
    // A leap second, which only zones that count them give, stays in its minute.
    return TryEncodeDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                              local.tm_sec > 59 ? 59 : local.tm_sec, milliseconds},
                             out);
}

std::time_t UnixTimeFromUtc(const TDateTimeParts& utc)
{
    const std::int64_t days = DaysFromCivil(utc.year, utc.month, utc.day) - 25569;
    return static_cast<std::time_t>(days * 86400 + (utc.hour * 60 + utc.minute) * 60 + utc.second);
}

TDateTime NowLocal()
{
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    return FromUnixTime(static_cast<std::time_t>(ms / 1000), static_cast<int>(ms % 1000));
}

std::int64_t RoundHalfEven(double value)
{
    const double floorValue = std::floor(value);
    const double diff = value - floorValue;
    auto result = static_cast<std::int64_t>(floorValue);
    if (diff > 0.5 || (diff == 0.5 && (result % 2 != 0))) ++result;
    return result;
}

std::string FormatDateTime(const std::string& format, TDateTime value)
{
    const TDateTimeParts p = DecodeDateTime(value);
    std::string out;
    std::size_t i = 0;
    auto startsWith = [&](const char* token) {
        return format.compare(i, std::char_traits<char>::length(token), token) == 0;
    };
    while (i < format.size()) {
        const char c = format[i];
        if (c == '"') {
            const std::size_t end = format.find('"', i + 1);
            const std::size_t stop = end == std::string::npos ? format.size() : end;
            out.append(format, i + 1, stop - i - 1);
            i = stop + 1;
        } else if (startsWith("yyyy")) {
            out += Pad(p.year, 4);
            i += 4;
        } else if (startsWith("yy")) {
            out += Pad(p.year % 100, 2);
            i += 2;
        } else if (startsWith("mm")) {
            out += Pad(p.month, 2);
            i += 2;
        } else if (c == 'm') {
            out += std::to_string(p.month);
            i += 1;
        } else if (startsWith("dd")) {
            out += Pad(p.day, 2);
            i += 2;
        } else if (c == 'd') {
            out += std::to_string(p.day);
            i += 1;
        } else if (startsWith("hh")) {
            out += Pad(p.hour, 2);
            i += 2;
        } else if (c == 'h') {
            out += std::to_string(p.hour);
            i += 1;
        } else if (startsWith("nn")) {
            out += Pad(p.minute, 2);
            i += 2;
        } else if (c == 'n') {
            out += std::to_string(p.minute);
            i += 1;
        } else if (startsWith("ss")) {
            out += Pad(p.second, 2);
            i += 2;
        } else if (c == 's') {
            out += std::to_string(p.second);
            i += 1;
        } else if (startsWith("zzz")) {
            out += Pad(p.millisecond, 3);
            i += 3;
        } else {
            out += c;
            i += 1;
        }
    }
    return out;
}

std::string DateTimeToStr(TDateTime value, const TFormatSettings& settings)
{
    const TDateTimeParts p = DecodeDateTime(value);
    std::string text = FormatDateTime(settings.shortDateFormat, value);
    if (p.hour != 0 || p.minute != 0 || p.second != 0 || p.millisecond != 0) {
        text += ' ';
        text += FormatDateTime(settings.longTimeFormat, value);
    }
    return text;
}

std::string FormatCompactStamp(TDateTime value)
{
    return FormatDateTime("yyyymmddhhnnss", value);
}
std::string FormatShortClock(TDateTime value)
{
    return FormatDateTime("h:nn:ss", value);
}
std::string FormatIsoSeconds(TDateTime value)
{
    return FormatDateTime("yyyy-mm-dd\"T\"hh:nn:ss", value);
}
std::string FormatIsoMilliseconds(TDateTime value)
{
    return FormatDateTime("yyyy-mm-dd\"T\"hh:nn:ss.zzz", value);
}

bool ParseIsoDateTime(const std::string& text, TDateTime& out)
{
    TDateTimeParts p;
    char sep = 0;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%n", &p.year, &p.month, &p.day, &sep, &p.hour, &p.minute,
                    &p.second, &consumed) != 7 ||
        (sep != 'T' && sep != ' ') || consumed != 19)
        return false;
    std::size_t pos = 19;
    if (pos < text.size()) {
        if (text[pos] != '.') return false;
        ++pos;
        int digits = 0;
        int ms = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 3) {
            ms = ms * 10 + (text[pos] - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0 || pos != text.size()) return false;
        while (digits++ < 3) ms *= 10;
        p.millisecond = ms;
    }
    return TryEncodeDateTime(p, out);
}

}  // namespace halcyra
