// VTimeZone: a zone built from a time-zone rule, converting between UTC and its local time the way
// Windows reads the same rule (n-th or last weekday of a month, or a dated transition).
#pragma once

#include <cstdint>
#include <optional>

#include "mmconv/message/MachineTimeZone.h"

namespace mmconv {

class VTimeZone {
public:
    explicit VTimeZone(const TimeZoneRule& rule);

    // The local moment, in seconds since 1601-01-01, at which a transition falls in `year`: the
    // `week`-th `dayOfWeek` of the month (0 or 5 and more the last one, a day of week of 7 or more
    // Sunday), or a dated transition in its own year only. None without a month.
    static std::optional<std::int64_t> TransitionInYear(const TimeZoneDate& date, int year);

    // Offsets in seconds east of UTC (local = UTC + offset).
    long StandardOffset() const { return standardOffset_; }
    long DaylightOffset() const { return daylightOffset_; }

    // Seconds since 1601-01-01 between local time and UTC. Local times in the daylight interval
    // [change to daylight, change to standard) take the daylight offset. A UTC moment is in daylight
    // time from the change to daylight, read in standard time, to the change to standard, read in
    // daylight time, so the hour before the spring change stays standard time.
    std::int64_t LocalToUtc(std::int64_t local) const;
    std::int64_t UtcToLocal(std::int64_t utc) const;

private:
    struct Changes {
        std::int64_t toStandard;
        std::int64_t toDaylight;
    };
    std::optional<Changes> ChangesInYear(int year) const;
    static bool InDaylight(const Changes& changes, std::int64_t sinceDaylight, std::int64_t untilStandard);

    TimeZoneRule rule_;
    bool hasDaylight_;
    long standardOffset_;
    long daylightOffset_;
};

} // namespace mmconv
