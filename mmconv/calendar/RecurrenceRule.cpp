// RRULE, EXDATE and RDATE from a read pattern.
#include "mmconv/calendar/RecurrenceRule.h"

#include <algorithm>
#include <optional>

#include "mmconv/calendar/CivilTime.h"
#include "mmconv/encoding/ConversionTrace.h"

namespace mmconv {
namespace {

constexpr const char* kWeekdays[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
constexpr std::uint32_t kWeekMask = 0x7F;
constexpr std::uint32_t kLastNth = 5;
constexpr std::uint32_t kShortestMonth = 28;
constexpr std::uint32_t kMonday = 1;

std::string ByDay(std::uint32_t mask)
{
    std::string days;
    for (int day = 0; day < 7; ++day) {
        if ((mask & (1u << day)) == 0)
            continue;
        days += days.empty() ? ";BYDAY=" : ",";
        days += kWeekdays[day];
    }
    return days;
}

// The month of a yearly series from its first date-time (minutes into the year 1601).
std::uint32_t YearlyMonth(std::uint32_t firstDateTime)
{
    return ((firstDateTime / 1440 + 1) / 30) % 12 + 1;
}

std::string ByMonthDay(std::uint32_t day)
{
    if (day <= kShortestMonth)
        return ";BYMONTHDAY=" + std::to_string(day);
    std::string days = ";BYMONTHDAY=";
    for (std::uint32_t candidate = kShortestMonth; candidate <= day; ++candidate)
        days += std::to_string(candidate) + (candidate < day ? "," : "");
    return days + ";BYSETPOS=-1";
}

struct RuleParts {
    const char* frequency = nullptr;
    std::uint32_t interval = 0;
    std::string byParts;
};

bool IsMonthly(std::uint16_t frequency)
{
    return frequency == kFrequencyMonthly || frequency == kFrequencyYearly;
}

// The interval of a month-based pattern: months, or years for a yearly series.
std::optional<std::uint32_t> MonthInterval(const RecurrencePattern& pattern)
{
    if (pattern.frequency == kFrequencyMonthly)
        return pattern.period;
    if (pattern.period == 0 || pattern.period % 12 != 0)
        return std::nullopt;
    return pattern.period / 12;
}

std::optional<RuleParts> Parts(const RecurrencePattern& pattern)
{
    static constexpr const char* kFrequencies[] = {"DAILY", "WEEKLY", "MONTHLY", "YEARLY"};
    if (pattern.frequency < kFrequencyDaily || pattern.frequency > kFrequencyYearly || pattern.calendarType != 0)
        return std::nullopt;
    RuleParts parts;
    parts.frequency = kFrequencies[pattern.frequency - kFrequencyDaily];
    const std::string yearlyMonth =
        pattern.frequency == kFrequencyYearly ? ";BYMONTH=" + std::to_string(YearlyMonth(pattern.firstDateTime)) : "";
    switch (pattern.patternType) {
    case kPatternDay:
        if (pattern.frequency != kFrequencyDaily)
            return std::nullopt;
        parts.interval = pattern.period / 1440;
        return parts;
    case kPatternWeek:
        if (pattern.frequency != kFrequencyDaily && pattern.frequency != kFrequencyWeekly)
            return std::nullopt;
        parts.interval = pattern.period;
        parts.byParts = ByDay(pattern.dayMask & kWeekMask);
        if (pattern.frequency == kFrequencyWeekly && pattern.period > 1 && pattern.firstDayOfWeek != kMonday &&
            pattern.firstDayOfWeek < 7)
            parts.byParts += std::string(";WKST=") + kWeekdays[pattern.firstDayOfWeek];
        return parts;
    case kPatternMonth:
    case kPatternMonthEnd:
    case kPatternMonthNth: {
        const std::optional<std::uint32_t> interval = IsMonthly(pattern.frequency) ? MonthInterval(pattern) : std::nullopt;
        if (!interval)
            return std::nullopt;
        parts.interval = *interval;
        if (pattern.patternType == kPatternMonth) {
            if (pattern.dayOfMonth < 1 || pattern.dayOfMonth > 31)
                return std::nullopt;
            parts.byParts = ByMonthDay(pattern.dayOfMonth);
        } else if (pattern.patternType == kPatternMonthEnd) {
            parts.byParts = ";BYMONTHDAY=-1";
        } else {
            if ((pattern.dayMask & kWeekMask) == 0 || pattern.nth < 1 || pattern.nth > kLastNth)
                return std::nullopt;
            parts.byParts = ByDay(pattern.dayMask & kWeekMask) + ";BYSETPOS=" +
                            (pattern.nth == kLastNth ? std::string("-1") : std::to_string(pattern.nth));
        }
        parts.byParts += yearlyMonth;
        return parts;
    }
    default:
        return std::nullopt;
    }
}

std::int64_t MinutesToSeconds(std::uint32_t minutes)
{
    return static_cast<std::int64_t>(minutes) * 60;
}

std::optional<std::string> Range(const RecurrencePattern& pattern, const RecurrenceContext& context)
{
    switch (pattern.endType) {
    case kEndByDate: {
        if (pattern.endDate >= kNoEndDate)
            return std::string();
        const bool wholeDay = pattern.endDate % kMinutesPerDay == 0;
        if (context.allDay)
            return ";UNTIL=" + FormatCivil(CivilFromSeconds(MinutesToSeconds(pattern.endDate)), false);
        std::int64_t until = MinutesToSeconds(pattern.endDate);
        if (wholeDay && pattern.hasExtension)
            until = context.localToUtc(until + MinutesToSeconds(pattern.startTimeOffset));
        else if (wholeDay && !context.zoneName.empty())
            until = context.localToUtc(until + kSecondsPerDay - 1);
        return ";UNTIL=" + FormatCivil(CivilFromSeconds(until), true) + "Z";
    }
    case kEndAfterCount:
        return pattern.occurrenceCount != 0 ? ";COUNT=" + std::to_string(pattern.occurrenceCount) : std::string();
    case kEndNever:
    case kEndNeverOld:
        return std::string();
    default:
        TraceConversion("***WARNING***, Wrong range constant!\n");
        return std::nullopt;
    }
}

// One local time of the series as written: a date for an all-day series, a local date-time with a
// zone, UTC without one.
std::string LocalValue(std::uint32_t minutes, const RecurrenceContext& context)
{
    const std::int64_t local = MinutesToSeconds(minutes);
    if (context.allDay)
        return FormatCivil(CivilFromSeconds(local), false);
    if (context.zoneName.empty())
        return FormatCivil(CivilFromSeconds(context.localToUtc(local)), true) + "Z";
    return FormatCivil(CivilFromSeconds(local), true);
}

std::string ValueParameters(const RecurrenceContext& context, bool periods)
{
    if (context.allDay)
        return ";VALUE=DATE:";
    std::string parameters;
    if (!context.zoneName.empty())
        parameters = ";TZID=\"" + context.zoneName + "\"";
    return parameters + (periods ? ";VALUE=PERIOD:" : ":");
}

std::string ExceptionDates(const RecurrencePattern& pattern, const RecurrenceContext& context)
{
    std::string values;
    for (std::uint32_t deleted : pattern.deletedDates) {
        const std::string value = LocalValue(deleted + pattern.startTimeOffset, context);
        const bool changedInPlace = std::any_of(pattern.exceptions.begin(), pattern.exceptions.end(),
            [&](const RecurrenceException& exception) { return LocalValue(exception.start, context) == value; });
        if (changedInPlace)
            continue;
        values += (values.empty() ? "" : ",") + value;
    }
    return values.empty() ? std::string() : "EXDATE" + ValueParameters(context, false) + values + "\n";
}

std::string ReplacementDates(const RecurrencePattern& pattern, const RecurrenceContext& context)
{
    std::string values;
    for (const RecurrenceException& exception : pattern.exceptions) {
        if (!values.empty())
            values += ",";
        values += LocalValue(exception.start, context);
        if (!context.allDay)
            values += "/" + LocalValue(exception.end, context);
    }
    return values.empty() ? std::string() : "RDATE" + ValueParameters(context, !context.allDay) + values + "\n";
}

} // namespace

HRESULT RecurrenceLines(const RecurrencePattern& pattern, const RecurrenceContext& context, std::string& lines)
{
    lines.clear();
    const std::optional<RuleParts> parts = Parts(pattern);
    const std::optional<std::string> range = parts ? Range(pattern, context) : std::nullopt;
    if (!parts || !range)
        return E_INVALIDARG;
    lines = std::string("RRULE:FREQ=") + parts->frequency + *range;
    if (parts->interval != 0)
        lines += ";INTERVAL=" + std::to_string(parts->interval);
    lines += parts->byParts + "\n";
    if (!context.exceptionDates || pattern.deletedDates.empty() || !pattern.hasExtension)
        return S_OK;
    lines += ExceptionDates(pattern, context);
    lines += ReplacementDates(pattern, context);
    return S_OK;
}

} // namespace mmconv
