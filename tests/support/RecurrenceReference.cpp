// A day-by-day walk over a stored pattern.
#include "tests/support/RecurrenceReference.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <set>

namespace testsupport {
namespace {

struct Fields {
    std::uint16_t frequency = 0;
    std::uint16_t patternType = 0;
    std::uint32_t period = 0;
    std::uint32_t first = 0;   // day mask or day of month
    std::uint32_t second = 0;  // n of an n-th pattern
    std::uint32_t endType = 0;
    std::uint32_t count = 0;
    std::uint32_t firstDayOfWeek = 0;
    std::vector<std::uint32_t> deleted;
    std::uint32_t startDate = 0;
    std::uint32_t endDate = 0;
    std::uint32_t startOffset = 0;
    std::vector<std::uint32_t> changedStarts;
};

class Cursor {
public:
    explicit Cursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::optional<std::uint32_t> Take(int width)
    {
        if (at_ + width > bytes_.size())
            return std::nullopt;
        std::uint32_t value = 0;
        for (int i = width - 1; i >= 0; --i)
            value = (value << 8) | bytes_[at_ + i];
        at_ += width;
        return value;
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

std::optional<Fields> Read(std::span<const std::uint8_t> bytes)
{
    Cursor in(bytes);
    Fields f;
    in.Take(2);
    in.Take(2);
    f.frequency = static_cast<std::uint16_t>(in.Take(2).value_or(0));
    f.patternType = static_cast<std::uint16_t>(in.Take(2).value_or(0));
    in.Take(2);
    in.Take(4);
    f.period = in.Take(4).value_or(0);
    in.Take(4);
    if (f.patternType != 0)
        f.first = in.Take(4).value_or(0);
    if (f.patternType == 3)
        f.second = in.Take(4).value_or(0);
    f.endType = in.Take(4).value_or(0);
    f.count = in.Take(4).value_or(0);
    f.firstDayOfWeek = in.Take(4).value_or(0);
    const std::uint32_t deletedCount = in.Take(4).value_or(0);
    for (std::uint32_t i = 0; i < deletedCount; ++i)
        f.deleted.push_back(*in.Take(4));
    const std::uint32_t modifiedCount = in.Take(4).value_or(0);
    for (std::uint32_t i = 0; i < modifiedCount; ++i)
        in.Take(4);
    const std::optional<std::uint32_t> start = in.Take(4);
    const std::optional<std::uint32_t> end = in.Take(4);
    if (!start || !end)
        return std::nullopt;
    f.startDate = *start;
    f.endDate = *end;
    if (!in.Take(4) || !in.Take(4))
        return f;
    f.startOffset = in.Take(4).value_or(0);
    in.Take(4);
    const std::uint32_t exceptions = in.Take(2).value_or(0);
    for (std::uint32_t i = 0; i < exceptions; ++i) {
        const std::optional<std::uint32_t> changed = in.Take(4);
        in.Take(4);
        in.Take(4);
        const std::uint32_t flags = in.Take(2).value_or(0);
        if (!changed)
            break;
        f.changedStarts.push_back(*changed);
        for (std::uint32_t flag = 1; flag <= 0x100; flag <<= 1) {
            if ((flags & flag) == 0 || flag == 0x200)
                continue;
            if (flag == 0x1 || flag == 0x10) {
                in.Take(2);
                const std::uint32_t length = in.Take(2).value_or(0);
                for (std::uint32_t skip = 0; skip < length; ++skip)
                    in.Take(1);
            } else {
                in.Take(4);
            }
        }
    }
    return f;
}

// Civil dates of a day count from 1601-01-01.
struct Date {
    int year;
    int month;
    int day;
};

Date DateOf(std::int64_t days)
{
    // Walk from 1601 by years and months: slow but plainly right.
    int year = 1601;
    auto yearDays = [](int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0 ? 366 : 365; };
    while (days >= yearDays(year)) {
        days -= yearDays(year);
        ++year;
    }
    static const int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int month = 1;
    while (true) {
        const int length = kMonthDays[month - 1] + (month == 2 && yearDays(year) == 366 ? 1 : 0);
        if (days < length)
            break;
        days -= length;
        ++month;
    }
    return {year, month, static_cast<int>(days) + 1};
}

int MonthLength(int year, int month)
{
    static const int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return kMonthDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

int Weekday(std::int64_t days)
{
    return static_cast<int>((days + 1) % 7);  // 1601-01-01 was a Monday
}

bool Matches(const Fields& f, std::int64_t day, std::int64_t startDay)
{
    const Date date = DateOf(day);
    const Date start = DateOf(startDay);
    const int monthsApart = (date.year - start.year) * 12 + (date.month - start.month);
    switch (f.patternType) {
    case 0:
        return f.period >= 1440 && (day - startDay) % (f.period / 1440) == 0;
    case 1: {
        const auto weekStart = [&](std::int64_t d) { return d - (Weekday(d) - static_cast<int>(f.firstDayOfWeek) + 7) % 7; };
        const std::int64_t weeks = (weekStart(day) - weekStart(startDay)) / 7;
        return (f.first & (1u << Weekday(day))) != 0 && f.period != 0 && weeks % f.period == 0;
    }
    case 2:
    case 4: {
        if (f.period == 0 || monthsApart % static_cast<int>(f.period) != 0)
            return false;
        const int length = MonthLength(date.year, date.month);
        const int wanted = f.patternType == 4 ? length : std::min(static_cast<int>(f.first), length);
        return date.day == wanted;
    }
    case 3: {
        if (f.period == 0 || monthsApart % static_cast<int>(f.period) != 0 || (f.first & (1u << Weekday(day))) == 0)
            return false;
        const std::int64_t monthStart = day - (date.day - 1);
        std::vector<std::int64_t> candidates;
        for (int d = 0; d < MonthLength(date.year, date.month); ++d) {
            if ((f.first & (1u << Weekday(monthStart + d))) != 0)
                candidates.push_back(monthStart + d);
        }
        const std::int64_t chosen = f.second >= 5 ? candidates.back() : candidates[f.second - 1];
        return chosen == day;
    }
    default:
        return false;
    }
}

std::string Format(std::uint32_t minutes, bool allDay)
{
    const Date date = DateOf(minutes / 1440);
    char text[32];
    if (allDay)
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
    else
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02u:%02u:00", date.year, date.month, date.day,
            minutes % 1440 / 60, minutes % 60);
    return text;
}

} // namespace

ReferenceOccurrences ExpandStoredPattern(std::span<const std::uint8_t> pattern, std::size_t limit, bool allDay)
{
    ReferenceOccurrences result;
    const std::optional<Fields> read = Read(pattern);
    if (!read)
        return result;
    const Fields& f = *read;
    const std::set<std::uint32_t> deleted(f.deleted.begin(), f.deleted.end());
    const std::int64_t startDay = f.startDate / 1440;
    std::vector<std::uint32_t> starts;
    std::uint32_t ruleCount = 0;
    // Enough rule occurrences that none of the first `limit` of the series is missed.
    const std::size_t wanted = limit + f.deleted.size() + 1;
    for (std::int64_t day = startDay; starts.size() < wanted && day < startDay + 366 * 60; ++day) {
        if (f.endType == 0x2021 && day * 1440 > f.endDate)
            break;
        if (f.endType == 0x2022 && ruleCount >= f.count)
            break;
        if (!Matches(f, day, startDay))
            continue;
        ++ruleCount;
        if (deleted.count(static_cast<std::uint32_t>(day * 1440)) == 0)
            starts.push_back(static_cast<std::uint32_t>(day * 1440 + f.startOffset));
    }
    starts.insert(starts.end(), f.changedStarts.begin(), f.changedStarts.end());
    std::sort(starts.begin(), starts.end());
    result.ok = true;
    result.truncated = starts.size() > limit;
    for (std::size_t i = 0; i < starts.size() && i < limit; ++i)
        result.starts.push_back(Format(starts[i], allDay));
    return result;
}

} // namespace testsupport
