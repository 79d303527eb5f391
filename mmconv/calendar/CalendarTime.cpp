// CCalendar: the item's time zone, date-time values, the VTIMEZONE block and the recurrence lines.
#include "mmconv/calendar/Calendar.h"

#include <ctime>

#include "mmconv/calendar/CivilTime.h"
#include "mmconv/calendar/ContentText.h"
#include "mmconv/calendar/RecurrenceRule.h"
#include "mmconv/calendar/TimeZoneStruct.h"
#include "mmconv/encoding/ConversionTrace.h"
#include "mmconv/encoding/Utf8.h"
#include "mmconv/message/RfcDate.h"
#include "mmconv/message/TraceAddress.h"

namespace mmconv {
namespace {

constexpr const char* kWeekdays[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kUnixEpoch = 11644473600;

// The machine's own conversion, for items without a usable zone.
std::int64_t SystemConversion(std::int64_t seconds, TimeDirection direction)
{
    if (direction == TimeDirection::UtcToLocal) {
        const std::time_t utc = static_cast<std::time_t>(seconds - kUnixEpoch);
        std::tm fields{};
        return localtime_r(&utc, &fields) != nullptr ? seconds + fields.tm_gmtoff : seconds;
    }
    const CivilTime local = CivilFromSeconds(seconds);
    std::tm fields{};
    fields.tm_year = local.year - 1900;
    fields.tm_mon = local.month - 1;
    fields.tm_mday = local.day;
    fields.tm_hour = local.hour;
    fields.tm_min = local.minute;
    fields.tm_sec = local.second;
    fields.tm_isdst = -1;
    const std::time_t utc = mktime(&fields);
    return utc == static_cast<std::time_t>(-1) ? seconds : static_cast<std::int64_t>(utc) + kUnixEpoch;
}

// One STANDARD or DAYLIGHT block.
std::string Observance(const char* kind, const TimeZoneDate& date, long offsetFrom, long offsetTo)
{
    std::string block = std::string("BEGIN:") + kind + "\n";
    CivilTime start;
    if (date.year != 0 && date.month != 0 && date.week != 0) {
        start = {static_cast<int>(date.year), static_cast<int>(date.month), static_cast<int>(date.week),
            static_cast<int>(date.hour), static_cast<int>(date.minute), static_cast<int>(date.second)};
    } else {
        start = {1971, 1, 1, static_cast<int>(date.hour), static_cast<int>(date.minute), 0};
    }
    block += "DTSTART:" + FormatCivil(start, true) + "\n";
    block += "TZOFFSETFROM:" + MinutesToRfcTime(offsetFrom) + "\n";
    block += "TZOFFSETTO:" + MinutesToRfcTime(offsetTo) + "\n";
    if (date.month != 0 && date.year == 0) {
        const std::string week = date.week >= 1 && date.week <= 4 ? std::to_string(date.week) : "-1";
        block += "RRULE:FREQ=YEARLY;BYMONTH=" + std::to_string(date.month) + ";BYDAY=" + week +
                 kWeekdays[date.dayOfWeek >= 7 ? 0 : date.dayOfWeek] + "\n";
    }
    return block + "END:" + kind + "\n";
}

// A zone name as TZID names it: without the characters that a quoted parameter cannot hold (double
// quotes, control characters) or that the TZID property would have to escape (commas, semicolons,
// backslashes), so that the property and the parameters spell the same identifier for every reader.
std::string ZoneIdentifier(std::string_view name)
{
    return WithoutControls(name, "\",;\\");
}

} // namespace

bool CCalendar::ItemZone(TimeZoneRule& rule, std::u16string& keyName)
{
    if (const std::optional<std::string> structure = NamedBinary(kLidTimeZoneStruct);
        structure && ReadTimeZoneStruct(AsBytes(*structure), rule))
        return true;
    for (ULONG lid : {kLidTimeZoneDefinitionRecur, kLidTimeZoneDefinitionStart}) {
        if (const std::optional<std::string> definition = NamedBinary(lid);
            definition && ReadTimeZoneDefinition(AsBytes(*definition), rule, keyName))
            return true;
    }
    return false;
}

HRESULT CCalendar::GetMessageTZ(TimeZoneRule& rule, std::string& name)
{
    if (!messageZone_) {
        messageZone_.emplace();
        messageZone_->status = ReadMessageZone(messageZone_->rule, messageZone_->name);
    }
    rule = messageZone_->rule;
    name = messageZone_->name;
    return messageZone_->status;
}

HRESULT CCalendar::ReadMessageZone(TimeZoneRule& rule, std::string& name)
{
    std::u16string keyName;
    if (!ItemZone(rule, keyName))
        return CMMMessage::GetMessageTZ(rule, name);
    std::u16string described = NamedUnicode(kLidTimeZoneDescription).value_or(u"");
    if (described.empty())
        described = keyName;
    if (described.empty()) {
        TraceConversion("***WARNING***, Unable to get TimeZone Name");
        name = "TimeZone";
        return S_OK;
    }
    name = WideToUtf8(described);
    return S_OK;
}

const VTimeZone* CCalendar::Zone()
{
    if (!zoneRead_) {
        zoneRead_ = true;
        TimeZoneRule rule;
        std::string name;
        if (SUCCEEDED(GetMessageTZ(rule, name)))
            zone_ = std::make_unique<VTimeZone>(rule);
    }
    return zone_.get();
}

std::uint64_t CCalendar::TZFileTime2Time(std::uint64_t time, TimeDirection direction)
{
    const std::int64_t seconds = static_cast<std::int64_t>(time / kTicksPerSecond);
    const std::int64_t fraction = static_cast<std::int64_t>(time % kTicksPerSecond);
    std::int64_t converted = 0;
    if (const VTimeZone* zone = Zone()) {
        converted = direction == TimeDirection::UtcToLocal ? zone->UtcToLocal(seconds) : zone->LocalToUtc(seconds);
    } else {
        TraceConversion("***WARNING***, Unable to convert TimeZone time, try system conversions");
        converted = SystemConversion(seconds, direction);
    }
    return converted < 0 ? 0 : static_cast<std::uint64_t>(converted) * kTicksPerSecond + static_cast<std::uint64_t>(fraction);
}

HRESULT CCalendar::OutputFileTimeRfc2445(MimeOutput& output, std::uint64_t time, unsigned& column, bool sourceUtc,
    bool writeUtc, bool withTime)
{
    if (writeUtc && !sourceUtc)
        time = TZFileTime2Time(time, TimeDirection::LocalToUtc);
    else if (!writeUtc && sourceUtc)
        time = TZFileTime2Time(time, TimeDirection::UtcToLocal);
    const CivilTime civil = CivilFromSeconds(static_cast<std::int64_t>(time / kTicksPerSecond));
    return OutputStringRfc2445(output, FormatCivil(civil, withTime) + (writeUtc && withTime ? "Z" : ""), column);
}

std::string CCalendar::ZoneName()
{
    TimeZoneRule rule;
    std::string name;
    if (!UseTimeZone4Save() || FAILED(GetMessageTZ(rule, name)))
        return {};
    return ZoneIdentifier(name);
}

HRESULT CCalendar::SaveTimeZone(MimeOutput& output, unsigned& column, const TimeZoneRule& rule, std::string_view name)
{
    if (name.empty())
        return E_FAIL;
    const long standard = rule.bias + rule.standardBias;
    const bool daylight = rule.daylightDate.month != 0 && rule.standardDate.month != 0;
    const long daylightOffset = rule.bias + (daylight ? rule.daylightBias : 0);
    OutputStringRfc2445(output, "BEGIN:VTIMEZONE\nTZID:" + ZoneIdentifier(name) + "\n", column);
    std::string blocks = Observance("STANDARD", rule.standardDate, daylightOffset, standard);
    if (daylight)
        blocks += Observance("DAYLIGHT", rule.daylightDate, standard, daylightOffset);
    OutputStringRfc2445(output, blocks, column);
    return OutputStringRfc2445(output, "END:VTIMEZONE\n", column);
}

HRESULT CCalendar::SaveRRule(MimeOutput& output, unsigned& column, std::span<const std::uint8_t> bytes, bool allDay)
{
    if (bytes.size() < kShortestPattern) {
        TraceConversion("****ERROR: SaveRRule, cb=%d\n", static_cast<int>(bytes.size()));
        return E_INVALIDARG;
    }
    RecurrencePattern pattern;
    if (HRESULT hr = ReadRecurrencePattern(bytes, pattern); FAILED(hr)) {
        TraceConversion("*ERROR: SaveRRule() failed, corrupted data detected\n");
        return hr;
    }
    RecurrenceContext context;
    context.zoneName = ZoneName();
    context.allDay = allDay;
    context.exceptionDates = UseExceptions4Save();
    context.localToUtc = [this](std::int64_t local) {
        return static_cast<std::int64_t>(
            TZFileTime2Time(static_cast<std::uint64_t>(local < 0 ? 0 : local) * kTicksPerSecond, TimeDirection::LocalToUtc) /
            kTicksPerSecond);
    };
    std::string lines;
    if (HRESULT hr = RecurrenceLines(pattern, context, lines); FAILED(hr))
        return hr;
    if (!pattern.exceptionsComplete)
        TraceConversion("*ERROR: SaveRRule() failed, corrupted data detected\n");
    return OutputStringRfc2445(output, lines, column);
}

} // namespace mmconv
