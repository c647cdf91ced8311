// Date-times as the system keeps them: days since 30 December 1899 in local time,
// the time of day as the fraction. Conversions and the few text formats in use.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace halcyra {

using TDateTime = double;

constexpr double kOneHour = 1.0 / 24.0;
constexpr double kOneMinute = 1.0 / 1440.0;
constexpr double kOneSecond = 1.0 / 86400.0;
constexpr double kOneMillisecond = 1.0 / 86400000.0;

struct TDateTimeParts {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// True when the fields name a real calendar date and time of day (year 1..9999).
bool IsValidDateTime(const TDateTimeParts& parts);

// Builds the date-time of valid fields; invalid fields give false and leave `out` alone.
bool TryEncodeDateTime(const TDateTimeParts& parts, TDateTime& out);
// As TryEncodeDateTime, for fields known to be valid (invalid ones give 0).
TDateTime EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int millisecond = 0);

// Splits a date-time into fields, rounded to the millisecond.
TDateTimeParts DecodeDateTime(TDateTime value);

// Local calendar time <-> date-time.
TDateTime FromUnixTime(std::time_t seconds, int milliseconds = 0);
std::time_t ToUnixTime(TDateTime value);
// As FromUnixTime, but false (and `out` left alone) when the C library cannot give the local time of the
// instant or it falls outside the years 1 to 9999.
bool TryFromUnixTime(std::time_t seconds, int milliseconds, TDateTime& out);
// The instant of valid fields read as UTC calendar time, whatever the local zone (milliseconds ignored).
std::time_t UnixTimeFromUtc(const TDateTimeParts& utc);

// The current local time.
TDateTime NowLocal();

// Banker's rounding: halves go to the even neighbour.
std::int64_t RoundHalfEven(double value);

// Formats with the tokens yyyy, yy, mm, m, dd, d, hh, h, nn, n, ss, s, zzz; text in double quotes and
// any other character is copied. "mm" always means the month, "nn" the minute.
std::string FormatDateTime(const std::string& format, TDateTime value);

// The log's date-time text: short date, a blank, long time; the time is left out at exactly midnight.
struct TFormatSettings {
    std::string shortDateFormat = "yyyy-mm-dd";
    std::string longTimeFormat = "hh:nn:ss";
};
std::string DateTimeToStr(TDateTime value, const TFormatSettings& settings = {});

// "yyyymmddhhnnss"
std::string FormatCompactStamp(TDateTime value);
// "h:nn:ss"
std::string FormatShortClock(TDateTime value);
// "yyyy-mm-ddThh:nn:ss", for tools and JSON.
std::string FormatIsoSeconds(TDateTime value);
// "yyyy-mm-ddThh:nn:ss.zzz"
std::string FormatIsoMilliseconds(TDateTime value);
// Parses "yyyy-mm-ddThh:nn:ss[.fff]" (a blank may stand for the T); false on anything else.
bool ParseIsoDateTime(const std::string& text, TDateTime& out);

}  // namespace halcyra
