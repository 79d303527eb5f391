// Stored calendar data for the calendar tests: recurrence patterns and time-zone structures in
// their binary layouts, built from readable fields.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace calendartest {

// Minutes from 1601-01-01 00:00 to a date and time.
std::uint32_t Minutes(int year, int month, int day, int hour = 0, int minute = 0);

struct StoredException {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    std::uint32_t originalStart = 0;
    std::uint16_t overrideFlags = 0;
    std::string subject;  // stored when overrideFlags has 0x0001
};

struct StoredPattern {
    std::uint16_t frequency = 0x200B;
    std::uint16_t patternType = 1;
    std::uint16_t calendarType = 0;
    std::uint32_t firstDateTime = 0;
    std::uint32_t period = 1;
    std::vector<std::uint32_t> specific = {0};  // the pattern-type fields
    std::uint32_t endType = 0x2023;
    std::uint32_t occurrenceCount = 0;
    std::uint32_t firstDayOfWeek = 1;
    std::vector<std::uint32_t> deleted;
    std::vector<std::uint32_t> modified;
    std::uint32_t startDate = 0;
    std::uint32_t endDate = 0x5AE980DF;
    bool extension = true;
    std::uint32_t startTimeOffset = 0;
    std::uint32_t endTimeOffset = 0;
    std::vector<StoredException> exceptions;
};

std::string PatternBytes(const StoredPattern& pattern);

// A transition of the time-zone structure: year 0 for a yearly rule.
struct StoredTransition {
    unsigned year = 0;
    unsigned month = 0;
    unsigned dayOfWeek = 0;
    unsigned day = 0;
    unsigned hour = 0;
    unsigned minute = 0;
};

std::string TimeZoneBytes(long bias, long standardBias, long daylightBias, const StoredTransition& standard,
    const StoredTransition& daylight);

// Central Europe: bias -60, summer time from the last Sunday of March 02:00 to the last Sunday of
// October 03:00.
std::string CentralEuropeZone();

} // namespace calendartest
