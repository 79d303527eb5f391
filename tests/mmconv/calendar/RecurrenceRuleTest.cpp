// Stored recurrence patterns into RRULE, EXDATE and RDATE: one table of patterns and the lines they
// give, and the reader's guards on damaged patterns.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "mmconv/calendar/RecurrencePattern.h"
#include "mmconv/calendar/RecurrenceRule.h"
#include "tests/mmconv/calendar/CalendarFixtures.h"

namespace {

using calendartest::Minutes;
using calendartest::StoredPattern;

std::span<const std::uint8_t> Bytes(const std::string& data)
{
    return {reinterpret_cast<const std::uint8_t*>(data.data()), data.size()};
}

// A zone one hour east of UTC all year.
mmconv::RecurrenceContext EastContext()
{
    mmconv::RecurrenceContext context;
    context.zoneName = "Zone";
    context.localToUtc = [](std::int64_t local) { return local - 3600; };
    return context;
}

StoredPattern Weekly(std::uint32_t mask)
{
    StoredPattern p;
    p.specific = {mask};
    p.startDate = Minutes(2024, 1, 1);
    p.startTimeOffset = 600;
    p.endTimeOffset = 660;
    return p;
}

StoredPattern Monthly(std::uint16_t frequency, std::uint16_t type, std::uint32_t period, std::vector<std::uint32_t> fields)
{
    StoredPattern p;
    p.frequency = frequency;
    p.patternType = type;
    p.period = period;
    p.specific = std::move(fields);
    p.firstDateTime = Minutes(1601, 10, 1);
    p.startDate = Minutes(2024, 1, 31);
    return p;
}

struct RuleCase {
    const char* label;
    std::function<StoredPattern()> pattern;
    std::string lines;  // empty: the pattern is refused
    std::function<void(mmconv::RecurrenceContext&)> adjust = nullptr;
};

const RuleCase kCases[] = {
    {"a yearly pattern of 12 months is every year",
        [] { return Monthly(0x200D, 2, 12, {15}); }, "RRULE:FREQ=YEARLY;INTERVAL=1;BYMONTHDAY=15;BYMONTH=10\n"},
    {"a yearly pattern of 18 months is refused", [] { return Monthly(0x200D, 2, 18, {15}); }, ""},
    {"a day pattern of 2880 minutes is every other day",
        [] {
            StoredPattern p;
            p.frequency = 0x200A;
            p.patternType = 0;
            p.period = 2880;
            return p;
        },
        "RRULE:FREQ=DAILY;INTERVAL=2\n"},
    {"every weekday", [] {
         StoredPattern p = Weekly(0x3E);
         p.frequency = 0x200A;
         return p;
     },
        "RRULE:FREQ=DAILY;INTERVAL=1;BYDAY=MO,TU,WE,TH,FR\n"},
    {"the last Friday of every second month", [] { return Monthly(0x200C, 3, 2, {0x20, 5}); },
        "RRULE:FREQ=MONTHLY;INTERVAL=2;BYDAY=FR;BYSETPOS=-1\n"},
    {"an n-th pattern without days is refused", [] { return Monthly(0x200C, 3, 1, {0, 2}); }, ""},
    {"a series without end and without exceptions is the rule alone", [] { return Weekly(0x02); },
        "RRULE:FREQ=WEEKLY;INTERVAL=1;BYDAY=MO\n"},
    {"the end date that means no end writes no UNTIL",
        [] {
            StoredPattern p = Weekly(0x02);
            p.endType = 0x2021;
            return p;
        },
        "RRULE:FREQ=WEEKLY;INTERVAL=1;BYDAY=MO\n"},
    {"an end date ends at the last occurrence's start in UTC",
        [] {
            StoredPattern p = Weekly(0x02);
            p.endType = 0x2021;
            p.endDate = Minutes(2024, 3, 25);
            return p;
        },
        "RRULE:FREQ=WEEKLY;UNTIL=20240325T090000Z;INTERVAL=1;BYDAY=MO\n"},
    {"an end after a count",
        [] {
            StoredPattern p = Weekly(0x02);
            p.endType = 0x2022;
            p.occurrenceCount = 10;
            return p;
        },
        "RRULE:FREQ=WEEKLY;COUNT=10;INTERVAL=1;BYDAY=MO\n"},
    {"an unknown end type is refused",
        [] {
            StoredPattern p = Weekly(0x02);
            p.endType = 0x2099;
            return p;
        },
        ""},
    {"a frequency that does not fit the pattern is refused",
        [] {
            StoredPattern p = Weekly(0x02);
            p.frequency = 0x200C;
            return p;
        },
        ""},
    {"a day past 28 falls on the last day of shorter months", [] { return Monthly(0x200C, 2, 1, {31}); },
        "RRULE:FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=28,29,30,31;BYSETPOS=-1\n"},
    {"the last day of every month", [] { return Monthly(0x200C, 4, 1, {31}); },
        "RRULE:FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=-1\n"},
    {"a day of month outside the month is refused", [] { return Monthly(0x200C, 2, 1, {32}); }, ""},
    {"weeks counted from Sunday",
        [] {
            StoredPattern p = Weekly(0x03);
            p.period = 2;
            p.firstDayOfWeek = 0;
            return p;
        },
        "RRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=SU,MO;WKST=SU\n"},
    {"deleted and moved occurrences",
        [] {
            StoredPattern p = Weekly(0x02);
            p.deleted = {Minutes(2024, 1, 8), Minutes(2024, 1, 15)};
            p.modified = {Minutes(2024, 1, 16)};
            p.exceptions = {{Minutes(2024, 1, 16, 14), Minutes(2024, 1, 16, 15), Minutes(2024, 1, 15, 10), 0x0001, "Moved"}};
            return p;
        },
        "RRULE:FREQ=WEEKLY;INTERVAL=1;BYDAY=MO\nEXDATE;TZID=\"Zone\":20240108T100000,20240115T100000\n"
        "RDATE;TZID=\"Zone\";VALUE=PERIOD:20240116T140000/20240116T150000\n"},
    {"an occurrence changed in place is not excluded",
        [] {
            StoredPattern p = Weekly(0x02);
            p.deleted = {Minutes(2024, 1, 8)};
            p.modified = {Minutes(2024, 1, 8)};
            p.exceptions = {{Minutes(2024, 1, 8, 10), Minutes(2024, 1, 8, 12), Minutes(2024, 1, 8, 10), 0x0001, "Longer"}};
            return p;
        },
        "RRULE:FREQ=WEEKLY;INTERVAL=1;BYDAY=MO\nRDATE;TZID=\"Zone\";VALUE=PERIOD:20240108T100000/20240108T120000\n"},
    {"an all-day series ends and excludes in dates",
        [] {
            StoredPattern p = Weekly(0x02);
            p.startTimeOffset = 0;
            p.endType = 0x2021;
            p.endDate = Minutes(2024, 3, 25);
            p.deleted = {Minutes(2024, 1, 8), Minutes(2024, 1, 15)};
            p.exceptions = {{Minutes(2024, 1, 16), Minutes(2024, 1, 17), Minutes(2024, 1, 15), 0, {}}};
            return p;
        },
        "RRULE:FREQ=WEEKLY;UNTIL=20240325;INTERVAL=1;BYDAY=MO\nEXDATE;VALUE=DATE:20240108,20240115\n"
        "RDATE;VALUE=DATE:20240116\n",
        [](mmconv::RecurrenceContext& context) { context.allDay = true; }},
    {"a task series ends at the end of its local end date",
        [] {
            StoredPattern p = Weekly(0x02);
            p.extension = false;
            p.endType = 0x2021;
            p.endDate = Minutes(2024, 3, 25);
            return p;
        },
        "RRULE:FREQ=WEEKLY;UNTIL=20240326T045959Z;INTERVAL=1;BYDAY=MO\n",
        [](mmconv::RecurrenceContext& context) {
            context.localToUtc = [](std::int64_t local) { return local + 5 * 3600; };
        }},
    {"without a zone the exceptions are in UTC",
        [] {
            StoredPattern p = Weekly(0x02);
            p.deleted = {Minutes(2024, 1, 8)};
            return p;
        },
        "RRULE:FREQ=WEEKLY;INTERVAL=1;BYDAY=MO\nEXDATE:20240108T090000Z\n",
        [](mmconv::RecurrenceContext& context) { context.zoneName.clear(); }},
    {"a hijri calendar has no rule",
        [] {
            StoredPattern p = Monthly(0x200C, 2, 1, {5});
            p.calendarType = 6;
            return p;
        },
        ""},
};

TEST(RecurrenceRule, EachPatternGivesItsLines)
{
    for (const RuleCase& c : kCases) {
        const std::string stored = calendartest::PatternBytes(c.pattern());
        mmconv::RecurrencePattern pattern;
        ASSERT_EQ(mmconv::ReadRecurrencePattern(Bytes(stored), pattern), S_OK) << c.label;
        mmconv::RecurrenceContext context = EastContext();
        if (c.adjust)
            c.adjust(context);
        std::string lines;
        const HRESULT hr = mmconv::RecurrenceLines(pattern, context, lines);
        EXPECT_EQ(hr, c.lines.empty() ? E_INVALIDARG : S_OK) << c.label;
        EXPECT_EQ(lines, c.lines) << c.label;
    }
}

TEST(RecurrencePattern, DamagedPatternsAreRefusedOrCutAtTheirEnd)
{
    StoredPattern moved = Weekly(0x02);
    moved.deleted = {Minutes(2024, 1, 8), Minutes(2024, 1, 15)};
    moved.exceptions = {{Minutes(2024, 1, 9, 10), Minutes(2024, 1, 9, 11), Minutes(2024, 1, 8, 10), 0x0001, "First"},
        {Minutes(2024, 1, 16, 10), Minutes(2024, 1, 16, 11), Minutes(2024, 1, 15, 10), 0x0001, "Second"}};
    const std::string whole = calendartest::PatternBytes(moved);
    mmconv::RecurrencePattern pattern;

    EXPECT_EQ(mmconv::ReadRecurrencePattern({}, pattern), E_INVALIDARG);
    EXPECT_EQ(mmconv::ReadRecurrencePattern(Bytes(whole.substr(0, 49)), pattern), E_INVALIDARG);

    // The second record's subject runs past the end: the first record stays.
    const std::string cut = whole.substr(0, whole.size() - 8 - 3);
    ASSERT_EQ(mmconv::ReadRecurrencePattern(Bytes(cut), pattern), S_OK);
    EXPECT_TRUE(pattern.hasExtension);
    EXPECT_FALSE(pattern.exceptionsComplete);
    ASSERT_EQ(pattern.exceptions.size(), 1u);
    EXPECT_EQ(pattern.exceptions[0].start, Minutes(2024, 1, 9, 10));

    // A deleted-instance count beyond the pattern's length.
    std::string counted = whole;
    const std::size_t countAt = 22 + 4 + 12;
    counted[countAt] = '\xFF';
    counted[countAt + 1] = '\xFF';
    EXPECT_EQ(mmconv::ReadRecurrencePattern(Bytes(counted), pattern), E_INVALIDARG);

    // A pattern type whose fields are unknown.
    std::string unknown = whole;
    unknown[6] = 0x09;
    EXPECT_EQ(mmconv::ReadRecurrencePattern(Bytes(unknown), pattern), E_INVALIDARG);

    // Without the extension there are no exception dates to write.
    ASSERT_EQ(mmconv::ReadRecurrencePattern(Bytes(whole.substr(0, 22 + 4 + 16 + 8 + 4 + 8)), pattern), S_OK);
    EXPECT_FALSE(pattern.hasExtension);
    EXPECT_EQ(pattern.deletedDates.size(), 2u);
}

} // namespace
