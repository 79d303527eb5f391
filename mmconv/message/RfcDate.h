// Dates in header fields: "Mon, 07 Dec 2026 09:05:00 +0100".
#pragma once

#include <cstdint>
#include <string>

namespace mmconv {

// The zone offset "%c%02d%02d" of a bias (minutes that UTC is ahead of local time): "-" for a
// positive bias, "+" otherwise.
std::string MinutesToRfcTime(long biasMinutes);

// A FILETIME (100-nanosecond intervals since 1601) as local time with the given bias, English day
// and month names, and the zone offset.
std::string FiletimeToRfc822DateTime(std::uint64_t fileTime, long biasMinutes);

// The bias of the machine's time zone as it stands now (daylight saving time included).
long CurrentTimeZoneBias();

} // namespace mmconv
