// Little-endian layouts of the stored calendar data.
#include "tests/mmconv/calendar/CalendarFixtures.h"

#include "mmconv/calendar/CivilTime.h"

namespace calendartest {
namespace {

void Put(std::string& bytes, std::uint64_t value, int width)
{
    for (int i = 0; i < width; ++i)
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void PutTransition(std::string& bytes, const StoredTransition& t)
{
    Put(bytes, 0, 2);  // the unused year before each SYSTEMTIME
    for (unsigned field : {t.year, t.month, t.dayOfWeek, t.day, t.hour, t.minute, 0u, 0u})
        Put(bytes, field, 2);
}

} // namespace

std::uint32_t Minutes(int year, int month, int day, int hour, int minute)
{
    return static_cast<std::uint32_t>(mmconv::DaysFromCivil(year, month, day) * 1440 + hour * 60 + minute);
}

std::string PatternBytes(const StoredPattern& p)
{
    std::string bytes;
    Put(bytes, 0x3004, 2);
    Put(bytes, 0x3004, 2);
    Put(bytes, p.frequency, 2);
    Put(bytes, p.patternType, 2);
    Put(bytes, p.calendarType, 2);
    Put(bytes, p.firstDateTime, 4);
    Put(bytes, p.period, 4);
    Put(bytes, 0, 4);
    if (p.patternType != 0) {
        for (std::uint32_t value : p.specific)
            Put(bytes, value, 4);
    }
    Put(bytes, p.endType, 4);
    Put(bytes, p.occurrenceCount, 4);
    Put(bytes, p.firstDayOfWeek, 4);
    Put(bytes, p.deleted.size(), 4);
    for (std::uint32_t date : p.deleted)
        Put(bytes, date, 4);
    Put(bytes, p.modified.size(), 4);
    for (std::uint32_t date : p.modified)
        Put(bytes, date, 4);
    Put(bytes, p.startDate, 4);
    Put(bytes, p.endDate, 4);
    if (!p.extension)
        return bytes;
    Put(bytes, 0x3006, 4);
    Put(bytes, 0x3009, 4);
    Put(bytes, p.startTimeOffset, 4);
    Put(bytes, p.endTimeOffset, 4);
    Put(bytes, p.exceptions.size(), 2);
    for (const StoredException& e : p.exceptions) {
        Put(bytes, e.start, 4);
        Put(bytes, e.end, 4);
        Put(bytes, e.originalStart, 4);
        Put(bytes, e.overrideFlags, 2);
        if ((e.overrideFlags & 0x0001) != 0) {
            Put(bytes, e.subject.size() + 1, 2);
            Put(bytes, e.subject.size(), 2);
            bytes += e.subject;
        }
        for (std::uint16_t flag : {0x0002, 0x0004, 0x0008})
            if ((e.overrideFlags & flag) != 0)
                Put(bytes, 0, 4);
    }
    Put(bytes, 0, 4);  // reserved blocks
    Put(bytes, 0, 4);
    return bytes;
}

std::string TimeZoneBytes(long bias, long standardBias, long daylightBias, const StoredTransition& standard,
    const StoredTransition& daylight)
{
    std::string bytes;
    Put(bytes, static_cast<std::uint32_t>(bias), 4);
    Put(bytes, static_cast<std::uint32_t>(standardBias), 4);
    Put(bytes, static_cast<std::uint32_t>(daylightBias), 4);
    PutTransition(bytes, standard);
    PutTransition(bytes, daylight);
    return bytes;
}

std::string CentralEuropeZone()
{
    return TimeZoneBytes(-60, 0, -60, {0, 10, 0, 5, 3, 0}, {0, 3, 0, 5, 2, 0});
}

} // namespace calendartest
