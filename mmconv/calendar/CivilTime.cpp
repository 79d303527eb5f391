// Days from civil dates and back (the algorithm of H. Hinnant's date library, on 1601-01-01).
#include "mmconv/calendar/CivilTime.h"

#include <cstdio>

namespace mmconv {
namespace {

// Days from 0000-03-01 to 1601-01-01.
constexpr std::int64_t kEpochShift = 584694;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

} // namespace

std::int64_t DaysFromCivil(int year, int month, int day)
{
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = FloorDiv(y, 400);
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - kEpochShift;
}

int DayOfWeek(std::int64_t days)
{
    // 1601-01-01 was a Monday.
    return static_cast<int>(((days % 7) + 7 + 1) % 7);
}

int DaysInMonth(int year, int month)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

CivilTime CivilFromSeconds(std::int64_t seconds)
{
    const std::int64_t days = FloorDiv(seconds, kSecondsPerDay);
    const std::int64_t rest = seconds - days * kSecondsPerDay;
    const std::int64_t z = days + kEpochShift;
    const std::int64_t era = FloorDiv(z, 146097);
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    CivilTime time;
    time.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    time.month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    time.year = static_cast<int>(yearOfEra + era * 400 + (time.month <= 2 ? 1 : 0));
    time.hour = static_cast<int>(rest / 3600);
    time.minute = static_cast<int>(rest / 60 % 60);
    time.second = static_cast<int>(rest % 60);
    return time;
}

std::int64_t SecondsFromCivil(const CivilTime& time)
{
    return DaysFromCivil(time.year, time.month, time.day) * kSecondsPerDay + time.hour * 3600 + time.minute * 60 +
           time.second;
}

std::string FormatCivil(const CivilTime& time, bool withTime)
{
    char text[40];
    if (withTime)
        std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d", time.year, time.month, time.day, time.hour,
            time.minute, time.second);
    else
        std::snprintf(text, sizeof text, "%04d%02d%02d", time.year, time.month, time.day);
    return text;
}

} // namespace mmconv
