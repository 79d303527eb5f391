// The binary recurrence pattern of appointments (PidLidAppointmentRecur) and tasks
// (PidLidTaskRecurrence), read with a bound check at every step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/base/HResult.h"

namespace mmconv {

// Frequencies and pattern types as stored.
inline constexpr std::uint16_t kFrequencyDaily = 0x200A;
inline constexpr std::uint16_t kFrequencyWeekly = 0x200B;
inline constexpr std::uint16_t kFrequencyMonthly = 0x200C;
inline constexpr std::uint16_t kFrequencyYearly = 0x200D;
inline constexpr std::uint16_t kPatternDay = 0;
inline constexpr std::uint16_t kPatternWeek = 1;
inline constexpr std::uint16_t kPatternMonth = 2;
inline constexpr std::uint16_t kPatternMonthNth = 3;
inline constexpr std::uint16_t kPatternMonthEnd = 4;
// End types.
inline constexpr std::uint32_t kEndByDate = 0x2021;
inline constexpr std::uint32_t kEndAfterCount = 0x2022;
inline constexpr std::uint32_t kEndNever = 0x2023;
inline constexpr std::uint32_t kEndNeverOld = 0xFFFFFFFF;
// The end date of a series without end.
inline constexpr std::uint32_t kNoEndDate = 0x5AE980DF;
// The shortest pattern: the fixed fields of a day pattern without deleted or modified instances.
inline constexpr std::size_t kShortestPattern = 50;

// One changed occurrence of an appointment series; times in local minutes since 1601.
struct RecurrenceException {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    std::uint32_t originalStart = 0;
    std::uint16_t overrideFlags = 0;
};

struct RecurrencePattern {
    std::uint16_t frequency = 0;
    std::uint16_t patternType = 0;
    std::uint16_t calendarType = 0;
    std::uint32_t firstDateTime = 0;
    std::uint32_t period = 0;
    std::uint32_t dayMask = 0;       // week and n-th patterns: bit 0x01 Sunday to 0x40 Saturday
    std::uint32_t dayOfMonth = 0;    // month patterns
    std::uint32_t nth = 0;           // n-th pattern: 1-4, 5 the last
    std::uint32_t endType = 0;
    std::uint32_t occurrenceCount = 0;
    std::uint32_t firstDayOfWeek = 0;
    std::vector<std::uint32_t> deletedDates;   // local midnight of each deleted or changed occurrence
    std::vector<std::uint32_t> modifiedDates;
    std::uint32_t startDate = 0;
    std::uint32_t endDate = 0;
    // The appointment extension, when the pattern holds one.
    bool hasExtension = false;
    std::uint32_t startTimeOffset = 0;  // minutes after midnight at which occurrences start
    std::uint32_t endTimeOffset = 0;
    std::vector<RecurrenceException> exceptions;
    // False when the exception records ran past the end of the pattern: those read are kept.
    bool exceptionsComplete = true;
};

// Reads a pattern. E_INVALIDARG when it is shorter than 50 octets, has a pattern type whose fields
// are unknown, or ends before its start and end dates; the extension and its exception records are
// read only as far as they fit.
HRESULT ReadRecurrencePattern(std::span<const std::uint8_t> bytes, RecurrencePattern& pattern);

} // namespace mmconv
