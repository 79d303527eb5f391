// Calendar arithmetic on the proleptic Gregorian calendar, counted from 1601-01-01 like FILETIME
// values and the minutes of MAPI recurrence data.
#pragma once

#include <cstdint>
#include <string>

namespace mmconv {

inline constexpr std::int64_t kTicksPerSecond = 10000000;
inline constexpr std::int64_t kSecondsPerDay = 86400;
inline constexpr std::int64_t kMinutesPerDay = 1440;

struct CivilTime {
    int year = 1601;
    int month = 1;   // 1-12
    int day = 1;     // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Days from 1601-01-01 to the date (negative before it).
std::int64_t DaysFromCivil(int year, int month, int day);
// The day of the week of a day count: 0 Sunday to 6 Saturday.
int DayOfWeek(std::int64_t days);
int DaysInMonth(int year, int month);

// Seconds since 1601-01-01 00:00 and back.
CivilTime CivilFromSeconds(std::int64_t seconds);
std::int64_t SecondsFromCivil(const CivilTime& time);

// "%04d%02d%02dT%02d%02d%02d" or, without the time of day, "%04d%02d%02d".
std::string FormatCivil(const CivilTime& time, bool withTime);

} // namespace mmconv
