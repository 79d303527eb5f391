// CAppointmentMsg: UID from the global object identifiers and the RECURRENCE-ID of one occurrence.
#include "mmconv/calendar/AppointmentMsg.h"

#include <mapitags.h>

#include <cstdio>

#include "mmconv/calendar/CivilTime.h"
#include "mmconv/calendar/ContentText.h"
#include "mmconv/encoding/ConversionTrace.h"
#include "mmconv/message/MapiProps.h"
#include "mmconv/message/TraceAddress.h"
#include "platform/base/LittleEndian.h"

namespace mmconv {
namespace {

constexpr ULONG kLidGlobalObjectId = 0x0003;       // PSETID_Meeting
constexpr ULONG kLidCleanGlobalObjectId = 0x0023;  // PSETID_Meeting
constexpr ULONG kLidStartRecurrenceTime = 0x000E;  // PSETID_Meeting
constexpr ULONG kLidExceptionReplaceTime = 0x8228;
constexpr std::string_view kGlobalIdPrefix = "040000008200E00074C5B7101A82E00800000000";
// An identifier that carries a textual UID: its data size field, then 12 octets before the text.
constexpr std::size_t kDataSizeField = 36;
constexpr std::size_t kTextualUidStart = 52;
constexpr std::size_t kDataStart = 40;
constexpr std::size_t kInstanceDate = 16;

// The UID of a clean identifier: the textual UID it carries, without control characters that would
// break the line, or its hexadecimal form.
std::string UidOf(const std::string& id)
{
    if (id.size() > kTextualUidStart) {
        const std::uint32_t dataSize = platform::ReadU32(AsBytes(id), kDataSizeField);
        if (dataSize != 16 && dataSize == id.size() - kDataStart)
            return WithoutControls(std::string_view(id).substr(kTextualUidStart));
    }
    return HexText(id);
}

// A UID made from the search key, as the meeting identifiers are built: the class prefix, a time,
// eight zero octets, the key's length and the key. The time is the item's creation time (0 without
// one), not the time of the conversion: the same item keeps its UID when it is converted again,
// so a migration run twice does not make two events of it.
std::string UidFromSearchKey(std::string_view key, std::uint64_t created)
{
    std::vector<std::uint8_t> block;
    platform::AppendU32(block, static_cast<std::uint32_t>(created));
    platform::AppendU32(block, static_cast<std::uint32_t>(created >> 32));
    block.insert(block.end(), 8, 0);
    platform::AppendU32(block, static_cast<std::uint32_t>(key.size()));
    return std::string(kGlobalIdPrefix) + HexText(std::string_view(reinterpret_cast<const char*>(block.data()), block.size())) +
           HexText(key);
}

// The clean identifier of the series a changed occurrence belongs to.
std::optional<std::string> MasterCleanId(IMessage* master)
{
    MMNamedPropsCnv names(master, MMNamedPropsCnv::kAllGroups);
    ULONG tag = 0;
    std::string data;
    if (FAILED(names.GetOneProp(NamedKey(kLidCleanGlobalObjectId, PT_BINARY), tag)) ||
        FAILED(ReadPropertyStream(master, tag, data)))
        return std::nullopt;
    return data;
}

} // namespace

HRESULT CAppointmentMsg::SaveUID(MimeOutput& output, unsigned& column)
{
    const std::optional<std::string> globalId = NamedBinary(kLidGlobalObjectId);
    const std::optional<std::string> cleanId = NamedBinary(kLidCleanGlobalObjectId);
    // A changed occurrence without identifiers of its own belongs to its series: it takes the
    // series' UID, without which it would stand alone.
    const std::optional<std::string> seriesId =
        !cleanId && IsExceptionItem() && CalendarContext() != nullptr ? MasterCleanId(CalendarContext()) : std::nullopt;
    if (cleanId || seriesId) {
        OutputStringRfc2445(output, "UID:" + UidOf(cleanId ? *cleanId : *seriesId) + "\n", column);
    } else if (!IsExceptionItem()) {
        // A component needs its UID.
        if (const std::optional<StableKey> key = ItemStableKey())
            OutputStringRfc2445(output, "UID:" + UidFromSearchKey(key->bytes, key->created) + "\n", column);
    }
    return SaveRecurrenceId(output, column, globalId, cleanId);
}

HRESULT CAppointmentMsg::SaveRecurrenceId(MimeOutput& output, unsigned& column, const std::optional<std::string>& globalId,
    const std::optional<std::string>& cleanId)
{
    const std::optional<std::uint64_t> replaceTime = NamedTime(kLidExceptionReplaceTime);
    const bool instance = globalId && cleanId && globalId->size() >= kInstanceDate + 4 && cleanId->size() >= kInstanceDate + 4 &&
                          globalId->compare(kInstanceDate, 4, *cleanId, kInstanceDate, 4) != 0;
    if (!instance) {
        if (!IsExceptionItem() || !replaceTime)
            return S_OK;
        OutputStringRfc2445(output, "RECURRENCE-ID:", column);
        OutputFileTimeRfc2445(output, *replaceTime, column, true, true, true);
        return OutputStringRfc2445(output, "\n", column);
    }
    const auto* date = reinterpret_cast<const std::uint8_t*>(globalId->data()) + kInstanceDate;
    char day[16];
    std::snprintf(day, sizeof day, "%04d%02d%02d", (date[0] << 8) | date[1], date[2], date[3]);
    const std::string zone = ZoneName();
    if (zone.empty())
        return OutputStringRfc2445(output, std::string("RECURRENCE-ID;VALUE=DATE:") + day + "\n", column);
    OutputStringRfc2445(output, "RECURRENCE-ID;TZID=\"" + zone + "\":", column);
    if (replaceTime) {
        OutputFileTimeRfc2445(output, *replaceTime, column, true, false, true);
    } else if (const std::optional<LONG> time = NamedLong(kLidStartRecurrenceTime)) {
        char clock[16];
        std::snprintf(clock, sizeof clock, "T%02d%02d%02d", static_cast<int>((*time >> 12) & 0x1F),
            static_cast<int>((*time >> 6) & 0x3F), static_cast<int>(*time & 0x3F));
        OutputStringRfc2445(output, std::string(day) + clock, column);
    } else {
        TraceConversion("*CAppointmentMsg(%#lx)::SaveUID - unable to save exception time\n", TraceAddress(this));
        OutputStringRfc2445(output, day, column);
    }
    return OutputStringRfc2445(output, "\n", column);
}

} // namespace mmconv
