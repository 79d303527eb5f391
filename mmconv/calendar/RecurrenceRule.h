// The iCalendar text of a recurrence pattern: the RRULE line and the EXDATE and RDATE lines of its
// deleted and changed occurrences.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "mmconv/calendar/RecurrencePattern.h"

namespace mmconv {

struct RecurrenceContext {
    std::string zoneName;        // UTF-8; empty when the item's times are written in UTC
    bool allDay = false;         // the series starts on a date, not a date-time
    bool exceptionDates = true;  // EXDATE and RDATE are written
    // Local seconds since 1601 to UTC seconds in the item's zone.
    std::function<std::int64_t(std::int64_t)> localToUtc;
};

// The lines, each ended by a bare LF, for FoldedOutput to write. E_INVALIDARG, with no lines, for a
// pattern that describes no series (a pattern type or calendar type that has no rule, a frequency
// that does not fit the pattern, a yearly period that is not a whole number of years, a day or
// position outside the month, an unknown end type): a partial rule would invent occurrences.
//
// Where the stored pattern means more than the bare rule says, the rule says it too: a day of the
// month past 28 falls on the month's last day in shorter months, a weekly series of more than one
// week counts its weeks from the stored first day of the week, the last day of every month is
// BYMONTHDAY=-1, an all-day series ends and excludes dates, a task series ends at the end of its
// local end date, and an occurrence changed in place is not excluded by the EXDATE that would
// otherwise remove its RDATE too.
HRESULT RecurrenceLines(const RecurrencePattern& pattern, const RecurrenceContext& context, std::string& lines);

} // namespace mmconv
