// Fuzzes the recurrence-pattern reader and the rule written from what it read: every count stays
// inside the pattern, and the lines are whole content lines (RRULE first, each ended by its LF,
// nothing that would end or break a line inside one).
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "mmconv/calendar/RecurrencePattern.h"
#include "mmconv/calendar/RecurrenceRule.h"

namespace {

void CheckLines(const std::string& lines)
{
    if (lines.rfind("RRULE:FREQ=", 0) != 0 || lines.back() != '\n')
        std::abort();
    for (char c : lines) {
        if (c == '\r' || (static_cast<unsigned char>(c) < 0x20 && c != '\n'))
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    mmconv::RecurrencePattern pattern;
    if (FAILED(mmconv::ReadRecurrencePattern(std::span<const std::uint8_t>(data, size), pattern)))
        return 0;
    if ((pattern.deletedDates.size() + pattern.modifiedDates.size()) * 4 > size ||
        pattern.exceptions.size() * 14 > size)
        std::abort();
    for (bool allDay : {false, true}) {
        for (const char* zone : {"", "Zone"}) {
            mmconv::RecurrenceContext context;
            context.zoneName = zone;
            context.allDay = allDay;
            context.localToUtc = [](std::int64_t local) { return local - 3600; };
            std::string lines;
            if (SUCCEEDED(mmconv::RecurrenceLines(pattern, context, lines)))
                CheckLines(lines);
            else if (!lines.empty())
                std::abort();
        }
    }
    return 0;
}
