// The time-zone structure's layout: bias, standard bias, daylight bias, then for each of standard
// and daylight a 2-octet year and a SYSTEMTIME (year, month, day of week, day, hour, minute,
// second, milliseconds).
#include "mmconv/calendar/TimeZoneStruct.h"

#include <algorithm>
#include <cstdlib>

#include "mmconv/calendar/CivilTime.h"
#include "platform/base/LittleEndian.h"

namespace mmconv {
namespace {

constexpr std::size_t kStandardDate = 14;
constexpr std::size_t kDaylightDate = 32;
constexpr long kLargestOffset = 24 * 60;

TimeZoneDate DateAt(std::span<const std::uint8_t> bytes, std::size_t at)
{
    TimeZoneDate date;
    date.year = platform::ReadU16(bytes, at);
    date.month = platform::ReadU16(bytes, at + 2);
    date.dayOfWeek = platform::ReadU16(bytes, at + 4);
    date.week = platform::ReadU16(bytes, at + 6);
    date.hour = platform::ReadU16(bytes, at + 8);
    date.minute = platform::ReadU16(bytes, at + 10);
    date.second = platform::ReadU16(bytes, at + 12);
    return date;
}

bool Usable(const TimeZoneDate& date)
{
    if (date.month == 0)
        return true;
    if (date.month > 12 || date.hour > 23 || date.minute > 59 || date.second > 59)
        return false;
    if (date.year == 0)
        return true;
    return date.week >= 1 && static_cast<int>(date.week) <= DaysInMonth(static_cast<int>(date.year), static_cast<int>(date.month));
}

bool UsableOffset(long minutes)
{
    return std::labs(minutes) < kLargestOffset;
}

} // namespace

bool ReadTimeZoneStruct(std::span<const std::uint8_t> bytes, TimeZoneRule& rule)
{
    if (bytes.size() != kTimeZoneStructSize)
        return false;
    TimeZoneRule read;
    read.bias = static_cast<std::int32_t>(platform::ReadU32(bytes, 0));
    read.standardBias = static_cast<std::int32_t>(platform::ReadU32(bytes, 4));
    read.daylightBias = static_cast<std::int32_t>(platform::ReadU32(bytes, 8));
    read.standardDate = DateAt(bytes, kStandardDate);
    read.daylightDate = DateAt(bytes, kDaylightDate);
    if (!Usable(read.standardDate) || !Usable(read.daylightDate))
        return false;
    if (read.standardDate.month == 0 || read.daylightDate.month == 0) {
        read.daylightDate = TimeZoneDate();
        read.daylightBias = 0;
    }
    if (!UsableOffset(read.bias) || !UsableOffset(read.bias + read.standardBias) ||
        !UsableOffset(read.bias + read.daylightBias))
        return false;
    rule = read;
    return true;
}

bool ReadTimeZoneDefinition(std::span<const std::uint8_t> bytes, TimeZoneRule& rule, std::u16string& keyName)
{
    // Header: major and minor version, header size, flags, [GUID], [key name], rule count.
    constexpr std::size_t kHeaderStart = 4;
    constexpr std::uint16_t kFlagGuid = 0x0001;
    constexpr std::uint16_t kFlagKeyName = 0x0002;
    constexpr std::uint16_t kRuleEffective = 0x0002;
    // Rule: versions, reserved, flags, year, 14 unused octets, then the structure's 48 octets
    // without its two years.
    constexpr std::size_t kRuleSize = 66;
    constexpr std::size_t kRuleFlags = 4;
    constexpr std::size_t kRuleBiases = 22;
    if (bytes.size() < kHeaderStart + 4)
        return false;
    const std::size_t headerSize = platform::ReadU16(bytes, 2);
    const std::uint16_t flags = platform::ReadU16(bytes, kHeaderStart);
    std::size_t at = kHeaderStart + 2;
    if ((flags & kFlagGuid) != 0)
        at += 16;
    std::u16string name;
    if ((flags & kFlagKeyName) != 0) {
        if (bytes.size() < at + 2)
            return false;
        const std::size_t characters = platform::ReadU16(bytes, at);
        at += 2;
        if (bytes.size() < at + 2 * characters)
            return false;
        for (std::size_t i = 0; i < characters; ++i)
            name += static_cast<char16_t>(platform::ReadU16(bytes, at + 2 * i));
        at += 2 * characters;
    }
    if (bytes.size() < at + 2 || kHeaderStart + headerSize < at + 2)
        return false;
    const std::size_t ruleCount = platform::ReadU16(bytes, at);
    const std::size_t rulesStart = kHeaderStart + headerSize;
    if (ruleCount == 0 || rulesStart > bytes.size() || (bytes.size() - rulesStart) / kRuleSize < ruleCount)
        return false;
    std::size_t chosen = rulesStart + (ruleCount - 1) * kRuleSize;
    for (std::size_t i = 0; i < ruleCount; ++i) {
        if ((platform::ReadU16(bytes, rulesStart + i * kRuleSize + kRuleFlags) & kRuleEffective) != 0) {
            chosen = rulesStart + i * kRuleSize;
            break;
        }
    }
    // The rule's biases and dates laid out as the structure, whose transition years stay 0.
    std::uint8_t structure[kTimeZoneStructSize] = {};
    const std::span<const std::uint8_t> source = bytes.subspan(chosen + kRuleBiases, 44);
    std::copy(source.begin(), source.begin() + 12, structure);
    std::copy(source.begin() + 12, source.begin() + 28, structure + kStandardDate);
    std::copy(source.begin() + 28, source.end(), structure + kDaylightDate);
    if (!ReadTimeZoneStruct(structure, rule))
        return false;
    keyName = std::move(name);
    return true;
}

} // namespace mmconv
