// Transition dates and the two conversions.
#include "mmconv/calendar/VTimeZone.h"

#include "mmconv/calendar/CivilTime.h"

namespace mmconv {
namespace {

constexpr unsigned kLastWeek = 5;

} // namespace

VTimeZone::VTimeZone(const TimeZoneRule& rule)
    : rule_(rule),
      hasDaylight_(rule.daylightDate.month != 0 && rule.standardDate.month != 0),
      standardOffset_(-(rule.bias + rule.standardBias) * 60),
      daylightOffset_(hasDaylight_ ? -(rule.bias + rule.daylightBias) * 60 : standardOffset_)
{
}

std::optional<std::int64_t> VTimeZone::TransitionInYear(const TimeZoneDate& date, int year)
{
    if (date.month < 1 || date.month > 12)
        return std::nullopt;
    const int month = static_cast<int>(date.month);
    const std::int64_t timeOfDay = date.hour * 3600 + date.minute * 60 + date.second;
    if (date.year != 0) {
        if (static_cast<int>(date.year) != year || date.week < 1 || static_cast<int>(date.week) > DaysInMonth(year, month))
            return std::nullopt;
        return DaysFromCivil(year, month, static_cast<int>(date.week)) * kSecondsPerDay + timeOfDay;
    }
    const int weekday = date.dayOfWeek >= 7 ? 0 : static_cast<int>(date.dayOfWeek);
    const std::int64_t first = DaysFromCivil(year, month, 1);
    std::int64_t day = 0;
    if (date.week == 0 || date.week >= kLastWeek) {
        const std::int64_t last = first + DaysInMonth(year, month) - 1;
        day = last - (DayOfWeek(last) - weekday + 7) % 7;
    } else {
        day = first + (weekday - DayOfWeek(first) + 7) % 7 + 7 * (static_cast<std::int64_t>(date.week) - 1);
    }
    return day * kSecondsPerDay + timeOfDay;
}

std::optional<VTimeZone::Changes> VTimeZone::ChangesInYear(int year) const
{
    if (!hasDaylight_)
        return std::nullopt;
    const std::optional<std::int64_t> toStandard = TransitionInYear(rule_.standardDate, year);
    const std::optional<std::int64_t> toDaylight = TransitionInYear(rule_.daylightDate, year);
    if (!toStandard || !toDaylight)
        return std::nullopt;
    return Changes{*toStandard, *toDaylight};
}

bool VTimeZone::InDaylight(const Changes& changes, std::int64_t sinceDaylight, std::int64_t untilStandard)
{
    if (changes.toStandard >= changes.toDaylight)
        return sinceDaylight >= changes.toDaylight && untilStandard < changes.toStandard;
    return untilStandard < changes.toStandard || sinceDaylight >= changes.toDaylight;
}

std::int64_t VTimeZone::LocalToUtc(std::int64_t local) const
{
    const std::optional<Changes> changes = ChangesInYear(CivilFromSeconds(local).year);
    const bool daylight = changes && InDaylight(*changes, local, local);
    return local - (daylight ? daylightOffset_ : standardOffset_);
}

std::int64_t VTimeZone::UtcToLocal(std::int64_t utc) const
{
    const std::int64_t standard = utc + standardOffset_;
    const std::int64_t daylight = utc + daylightOffset_;
    const std::optional<Changes> changes = ChangesInYear(CivilFromSeconds(standard).year);
    return changes && InDaylight(*changes, standard, daylight) ? daylight : standard;
}

} // namespace mmconv
