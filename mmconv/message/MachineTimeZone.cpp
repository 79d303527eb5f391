// The machine's zone rule, found by looking for the instants where the UTC offset changes.
#include "mmconv/message/MachineTimeZone.h"

#include <ctime>
#include <optional>

namespace mmconv {
namespace {

constexpr long kDay = 24 * 60 * 60;

std::optional<long> OffsetAt(std::time_t instant)
{
    std::tm fields{};
    if (localtime_r(&instant, &fields) == nullptr)
        return std::nullopt;
    return fields.tm_gmtoff;
}

// The first instant of (from, to] with the offset of `to`, when the offset changes once between.
std::time_t ChangeInstant(std::time_t from, std::time_t to)
{
    const long after = OffsetAt(to).value_or(0);
    while (to - from > 1) {
        const std::time_t middle = from + (to - from) / 2;
        if (OffsetAt(middle).value_or(0) == after)
            to = middle;
        else
            from = middle;
    }
    return to;
}

// The transition as a local time of the offset in force before it.
TimeZoneDate TransitionDate(std::time_t instant, long offsetBefore)
{
    const std::time_t local = instant + offsetBefore;
    std::tm fields{};
    gmtime_r(&local, &fields);
    static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int year = fields.tm_year + 1900;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int monthDays = kMonthDays[fields.tm_mon] + (fields.tm_mon == 1 && leap ? 1 : 0);
    TimeZoneDate date;
    date.month = static_cast<unsigned>(fields.tm_mon + 1);
    date.dayOfWeek = static_cast<unsigned>(fields.tm_wday);
    date.week = fields.tm_mday + 7 > monthDays ? 5 : static_cast<unsigned>((fields.tm_mday - 1) / 7 + 1);
    date.hour = static_cast<unsigned>(fields.tm_hour);
    date.minute = static_cast<unsigned>(fields.tm_min);
    return date;
}

} // namespace

HRESULT MachineTimeZone(TimeZoneRule& rule, std::string& standardName)
{
    rule = TimeZoneRule();
    tzset();
    const std::time_t now = std::time(nullptr);
    std::tm today{};
    if (localtime_r(&now, &today) == nullptr)
        return E_FAIL;
    std::tm january{};
    january.tm_year = today.tm_year;
    january.tm_mday = 1;
    const std::time_t yearStart = timegm(&january);
    std::optional<long> previous = OffsetAt(yearStart);
    if (!previous)
        return E_FAIL;
    long standardOffset = *previous;
    long daylightOffset = *previous;
    for (std::time_t day = yearStart; day < yearStart + 366 * kDay; day += kDay) {
        const std::optional<long> next = OffsetAt(day + kDay);
        if (!next)
            return E_FAIL;
        if (*next == *previous)
            continue;
        const std::time_t change = ChangeInstant(day, day + kDay);
        if (*next > *previous) {
            rule.daylightDate = TransitionDate(change, *previous);
            daylightOffset = *next;
            standardOffset = *previous;
        } else {
            rule.standardDate = TransitionDate(change, *previous);
            daylightOffset = *previous;
            standardOffset = *next;
        }
        previous = next;
    }
    rule.bias = -standardOffset / 60;
    rule.daylightBias = -(daylightOffset - standardOffset) / 60;
    standardName = tzname[0] != nullptr ? tzname[0] : "";
    return S_OK;
}

} // namespace mmconv
