// Fuzzes the readers of the stored time-zone forms (the 48-octet structure and the definition with
// its rules) and the zone built from what they read: transitions for any year and conversions of
// any moment stay within a day of the moment.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "mmconv/calendar/TimeZoneStruct.h"
#include "mmconv/calendar/VTimeZone.h"

namespace {

void Exercise(const mmconv::TimeZoneRule& rule, std::span<const std::uint8_t> bytes)
{
    const mmconv::VTimeZone zone(rule);
    constexpr std::int64_t kDay = 86400;
    for (std::size_t i = 0; i + 4 <= bytes.size() && i < 64; i += 4) {
        // Moments from 1601 to about 9000, and every year's transitions.
        const std::uint32_t raw = bytes[i] | bytes[i + 1] << 8 | bytes[i + 2] << 16 | static_cast<std::uint32_t>(bytes[i + 3]) << 24;
        const std::int64_t moment = static_cast<std::int64_t>(raw) * 60;
        if (std::llabs(zone.UtcToLocal(moment) - moment) > kDay || std::llabs(zone.LocalToUtc(moment) - moment) > kDay)
            std::abort();
        const int year = 1601 + static_cast<int>(raw % 8000);
        for (const mmconv::TimeZoneDate& date : {rule.standardDate, rule.daylightDate}) {
            if (const std::optional<std::int64_t> change = mmconv::VTimeZone::TransitionInYear(date, year);
                change && *change < 0)
                std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    mmconv::TimeZoneRule rule;
    if (size >= mmconv::kTimeZoneStructSize && mmconv::ReadTimeZoneStruct(bytes.first(mmconv::kTimeZoneStructSize), rule))
        Exercise(rule, bytes);
    std::u16string name;
    if (mmconv::ReadTimeZoneDefinition(bytes, rule, name)) {
        if (name.size() * 2 > size)
            std::abort();
        Exercise(rule, bytes);
    }
    return 0;
}
