// The machine's current time zone as a Windows-style rule: biases and the yearly transitions.
#pragma once

#include <string>

#include "platform/base/HResult.h"

namespace mmconv {

// A yearly transition: in `month` (1-12) on the `week`-th (1-4, 5 the last) `dayOfWeek` (0 Sunday)
// at local `hour`:`minute`; month 0 when the zone has no daylight saving time. With a `year` it is
// one moment of that year instead, `week` holding the day of the month.
struct TimeZoneDate {
    unsigned year = 0;
    unsigned month = 0;
    unsigned dayOfWeek = 0;
    unsigned week = 0;
    unsigned hour = 0;
    unsigned minute = 0;
    unsigned second = 0;
};

// Biases in minutes that UTC is ahead: local standard time is UTC - bias - standardBias, daylight
// time UTC - bias - daylightBias.
struct TimeZoneRule {
    long bias = 0;
    long standardBias = 0;
    long daylightBias = 0;
    TimeZoneDate standardDate;  // daylight to standard, in local daylight time
    TimeZoneDate daylightDate;  // standard to daylight, in local standard time
};

// The rule of the machine's zone from its transitions in the current year, and the zone's standard
// name; E_FAIL when the C library has no time-zone information.
HRESULT MachineTimeZone(TimeZoneRule& rule, std::string& standardName);

} // namespace mmconv
