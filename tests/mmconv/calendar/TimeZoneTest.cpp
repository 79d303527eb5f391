// Time zones: the transition dates of known zones and years, the same dates as the system's zone
// data gives them, the two conversions around the changes, and the readers of the stored zone forms.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "mmconv/calendar/CivilTime.h"
#include "mmconv/calendar/TimeZoneStruct.h"
#include "mmconv/calendar/VTimeZone.h"
#include "tests/mmconv/calendar/CalendarFixtures.h"

namespace {

using mmconv::CivilTime;
using mmconv::TimeZoneDate;
using mmconv::TimeZoneRule;
using mmconv::VTimeZone;

std::span<const std::uint8_t> Bytes(const std::string& data)
{
    return {reinterpret_cast<const std::uint8_t*>(data.data()), data.size()};
}

TimeZoneRule Rule(long bias, long daylightBias, TimeZoneDate standard, TimeZoneDate daylight)
{
    TimeZoneRule rule;
    rule.bias = bias;
    rule.daylightBias = daylightBias;
    rule.standardDate = standard;
    rule.daylightDate = daylight;
    return rule;
}

// Yearly rules as the zones' structures hold them (year, month, day of week, week, hour).
const TimeZoneRule kCentralEurope = Rule(-60, -60, {0, 10, 0, 5, 3}, {0, 3, 0, 5, 2});
const TimeZoneRule kUsEastern = Rule(300, -60, {0, 11, 0, 1, 2}, {0, 3, 0, 2, 2});
const TimeZoneRule kSydney = Rule(-600, -60, {0, 4, 0, 1, 3}, {0, 10, 0, 1, 2});
const TimeZoneRule kChile = Rule(240, -60, {0, 4, 0, 1, 0}, {0, 9, 0, 1, 0});  // Saturday 24:00 as Sunday 00:00

std::string LocalText(std::int64_t seconds)
{
    const CivilTime t = mmconv::CivilFromSeconds(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", t.year, t.month, t.day, t.hour, t.minute);
    return text;
}

struct TransitionCase {
    const char* zone;
    TimeZoneDate date;
    int year;
    const char* local;  // "" when the rule has no moment that year
};

TEST(TimeZone, TransitionDatesOfKnownZonesAndYears)
{
    const TransitionCase cases[] = {
        {"Central Europe to summer time", kCentralEurope.daylightDate, 2009, "2009-03-29 02:00"},
        {"Central Europe to winter time", kCentralEurope.standardDate, 2009, "2009-10-25 03:00"},
        {"Central Europe to summer time in a leap year", kCentralEurope.daylightDate, 2024, "2024-03-31 02:00"},
        {"Central Europe: the last Sunday is the fifth", kCentralEurope.standardDate, 2026, "2026-10-25 03:00"},
        {"US Eastern: second Sunday of March", kUsEastern.daylightDate, 2024, "2024-03-10 02:00"},
        {"US Eastern: first Sunday of November", kUsEastern.standardDate, 2024, "2024-11-03 02:00"},
        {"US Eastern: a month that begins on a Sunday", kUsEastern.daylightDate, 2015, "2015-03-08 02:00"},
        {"Sydney to summer time", kSydney.daylightDate, 2024, "2024-10-06 02:00"},
        {"Sydney to standard time", kSydney.standardDate, 2025, "2025-04-06 03:00"},
        {"the fourth Sunday is not the last", {0, 3, 0, 4, 2}, 2009, "2009-03-22 02:00"},
        {"day 0 counts as the last", {0, 3, 0, 0, 2}, 2009, "2009-03-29 02:00"},
        {"a day of week past Saturday counts as Sunday", {0, 3, 9, 5, 2}, 2009, "2009-03-29 02:00"},
        {"a dated transition in its year", {2011, 3, 0, 27, 2}, 2011, "2011-03-27 02:00"},
        {"a dated transition in another year", {2011, 3, 0, 27, 2}, 2012, ""},
        {"no month, no moment", {0, 0, 0, 5, 2}, 2009, ""},
    };
    for (const TransitionCase& c : cases) {
        const std::optional<std::int64_t> moment = VTimeZone::TransitionInYear(c.date, c.year);
        EXPECT_EQ(moment ? LocalText(*moment) : std::string(), c.local) << c.zone;
    }
}

// The instants at which the system's zone data changes the offset within a year, found by halving.
std::vector<std::time_t> SystemChanges(int year)
{
    std::tm first{};
    first.tm_year = year - 1900;
    first.tm_mday = 1;
    const std::time_t start = timegm(&first);
    auto offset = [](std::time_t t) {
        std::tm fields{};
        localtime_r(&t, &fields);
        return fields.tm_gmtoff;
    };
    std::vector<std::time_t> changes;
    for (std::time_t day = start; day < start + 365 * 86400; day += 86400) {
        if (offset(day) == offset(day + 86400))
            continue;
        std::time_t low = day;
        std::time_t high = day + 86400;
        while (high - low > 1) {
            const std::time_t middle = low + (high - low) / 2;
            (offset(middle) == offset(low) ? low : high) = middle;
        }
        changes.push_back(high);
    }
    return changes;
}

// Our reading of each zone's rule gives the instants of the system's zone data, for every year in
// which that rule held.
TEST(TimeZone, TransitionsAgreeWithTheSystemZoneData)
{
    struct Zone {
        const char* name;
        TimeZoneRule rule;
        int firstYear;
        int lastYear;
    };
    const Zone zones[] = {{"Europe/Berlin", kCentralEurope, 1996, 2037}, {"America/New_York", kUsEastern, 2007, 2037},
        {"Australia/Sydney", kSydney, 2008, 2037}};
    const char* previous = std::getenv("TZ");
    const std::string saved = previous != nullptr ? previous : "";
    constexpr std::int64_t kUnixEpoch = 11644473600;
    for (const Zone& zone : zones) {
        setenv("TZ", zone.name, 1);
        tzset();
        const VTimeZone converter(zone.rule);
        for (int year = zone.firstYear; year <= zone.lastYear; ++year) {
            std::vector<std::time_t> expected = SystemChanges(year);
            ASSERT_EQ(expected.size(), 2u) << zone.name << " " << year;
            const std::int64_t toDaylight = *VTimeZone::TransitionInYear(zone.rule.daylightDate, year);
            const std::int64_t toStandard = *VTimeZone::TransitionInYear(zone.rule.standardDate, year);
            // Each change happens at its local time of the offset in force before it.
            std::vector<std::time_t> ours = {
                static_cast<std::time_t>(toDaylight - converter.StandardOffset() - kUnixEpoch),
                static_cast<std::time_t>(toStandard - converter.DaylightOffset() - kUnixEpoch)};
            std::sort(ours.begin(), ours.end());
            EXPECT_EQ(ours, expected) << zone.name << " " << year;
            for (std::time_t change : expected) {
                const std::int64_t utc = change + kUnixEpoch;
                for (std::int64_t at : {utc - 1, utc}) {
                    const std::time_t unix = static_cast<std::time_t>(at - kUnixEpoch);
                    std::tm fields{};
                    localtime_r(&unix, &fields);
                    EXPECT_EQ(converter.UtcToLocal(at), at + fields.tm_gmtoff) << zone.name << " " << LocalText(at);
                }
            }
        }
    }
    setenv("TZ", saved.c_str(), 1);
    tzset();
}

TEST(TimeZone, ConversionsAroundTheChanges)
{
    const VTimeZone europe(kCentralEurope);
    const auto at = [](int y, int mo, int d, int h, int mi) { return mmconv::SecondsFromCivil({y, mo, d, h, mi, 0}); };
    // Local to UTC: the daylight interval is [02:00 in March, 03:00 in October).
    EXPECT_EQ(LocalText(europe.LocalToUtc(at(2009, 3, 29, 1, 59))), "2009-03-29 00:59");
    EXPECT_EQ(LocalText(europe.LocalToUtc(at(2009, 3, 29, 3, 0))), "2009-03-29 01:00");
    EXPECT_EQ(LocalText(europe.LocalToUtc(at(2009, 10, 25, 2, 30))), "2009-10-25 00:30");
    EXPECT_EQ(LocalText(europe.LocalToUtc(at(2009, 10, 25, 3, 0))), "2009-10-25 02:00");
    // UTC to local: 00:30 UTC on the day of the spring change is 01:30 standard time.
    EXPECT_EQ(LocalText(europe.UtcToLocal(at(2009, 3, 29, 0, 30))), "2009-03-29 01:30");
    EXPECT_EQ(LocalText(europe.UtcToLocal(at(2009, 3, 29, 1, 0))), "2009-03-29 03:00");
    EXPECT_EQ(LocalText(europe.UtcToLocal(at(2009, 10, 25, 0, 59))), "2009-10-25 02:59");
    EXPECT_EQ(LocalText(europe.UtcToLocal(at(2009, 10, 25, 1, 0))), "2009-10-25 02:00");
    // Summer time across the turn of the year.
    const VTimeZone chile(kChile);
    EXPECT_EQ(LocalText(chile.UtcToLocal(at(2024, 1, 15, 12, 0))), "2024-01-15 09:00");
    EXPECT_EQ(LocalText(chile.UtcToLocal(at(2024, 6, 15, 12, 0))), "2024-06-15 08:00");
    EXPECT_EQ(LocalText(chile.LocalToUtc(at(2024, 12, 24, 20, 0))), "2024-12-24 23:00");
    // A zone without summer time.
    const VTimeZone tokyo(Rule(-540, 0, {}, {}));
    EXPECT_EQ(LocalText(tokyo.UtcToLocal(at(2024, 7, 1, 0, 0))), "2024-07-01 09:00");
}

TEST(TimeZoneStruct, WhatTheReaderTakes)
{
    using calendartest::TimeZoneBytes;
    struct Case {
        const char* label;
        std::string bytes;
        bool read;
        long daylightBias;
    };
    const Case cases[] = {
        {"a zone with summer time", calendartest::CentralEuropeZone(), true, -60},
        {"47 octets", calendartest::CentralEuropeZone().substr(0, 47), false, 0},
        {"49 octets", calendartest::CentralEuropeZone() + "x", false, 0},
        {"month 13", TimeZoneBytes(-60, 0, -60, {0, 13, 0, 5, 3, 0}, {0, 3, 0, 5, 2, 0}), false, 0},
        {"hour 24", TimeZoneBytes(-60, 0, -60, {0, 10, 0, 5, 24, 0}, {0, 3, 0, 5, 2, 0}), false, 0},
        {"31 April", TimeZoneBytes(-60, 0, -60, {2011, 4, 0, 31, 3, 0}, {2011, 3, 0, 27, 2, 0}), false, 0},
        {"an offset of a day", TimeZoneBytes(-1440, 0, 0, {}, {}), false, 0},
        {"summer time without its end is none",
            TimeZoneBytes(-60, 0, -60, {0, 0, 0, 0, 0, 0}, {0, 3, 0, 5, 2, 0}), true, 0},
    };
    for (const Case& c : cases) {
        TimeZoneRule rule;
        EXPECT_EQ(mmconv::ReadTimeZoneStruct(Bytes(c.bytes), rule), c.read) << c.label;
        if (c.read) {
            EXPECT_EQ(rule.daylightBias, c.daylightBias) << c.label;
        }
    }
}

// A zone definition as Outlook writes it: Tokyo, one rule.
std::string TokyoDefinition(std::uint16_t ruleFlags = 2)
{
    std::string bytes = {0x02, 0x01, 0x2C, 0x00, 0x02, 0x00, 0x13, 0x00};
    for (char c : std::string("Tokyo Standard Time")) {
        bytes += c;
        bytes += '\0';
    }
    bytes += std::string("\x01\x00", 2);
    std::string rule = {0x02, 0x01, 0x3E, 0x00, static_cast<char>(ruleFlags), 0x00, 0x41, 0x06};
    rule += std::string(14, '\0');
    rule += calendartest::TimeZoneBytes(-540, 0, 0, {}, {}).substr(0, 12);
    rule += std::string(32, '\0');
    return bytes + rule;
}

TEST(TimeZoneStruct, DefinitionsOfNewerClients)
{
    TimeZoneRule rule;
    std::u16string name;
    ASSERT_TRUE(mmconv::ReadTimeZoneDefinition(Bytes(TokyoDefinition()), rule, name));
    EXPECT_EQ(rule.bias, -540);
    EXPECT_EQ(rule.daylightDate.month, 0u);
    EXPECT_EQ(name, u"Tokyo Standard Time");

    // Two rules: the one marked current counts, wherever it stands.
    std::string two = TokyoDefinition(0);
    two[46] = 0x02;
    std::string second = TokyoDefinition(2).substr(48);
    second.replace(22, 12, calendartest::TimeZoneBytes(-600, 0, 0, {}, {}).substr(0, 12));
    two += second;
    ASSERT_TRUE(mmconv::ReadTimeZoneDefinition(Bytes(two), rule, name));
    EXPECT_EQ(rule.bias, -600);

    const std::string whole = TokyoDefinition();
    for (std::size_t length : {std::size_t{0}, std::size_t{7}, std::size_t{30}, whole.size() - 1})
        EXPECT_FALSE(mmconv::ReadTimeZoneDefinition(Bytes(whole.substr(0, length)), rule, name)) << length;
    // A header that claims to run past the definition.
    std::string overlong = whole;
    overlong[2] = '\xFF';
    overlong[3] = '\xFF';
    EXPECT_FALSE(mmconv::ReadTimeZoneDefinition(Bytes(overlong), rule, name));
}

} // namespace
