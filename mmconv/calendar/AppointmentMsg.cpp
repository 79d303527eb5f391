// CAppointmentMsg: the kind, method and status, the VEVENT with its times, the sequence, the
// recurrence, the alarm, and the items that the program's own import made.
#include "mmconv/calendar/AppointmentMsg.h"

#include <mapicode.h>
#include <mapitags.h>

#include <array>
#include <charconv>
#include <string_view>

#include "mmconv/calendar/CivilTime.h"
#include "mmconv/calendar/ContentText.h"
#include "mmconv/encoding/ConversionTrace.h"
#include "mmconv/message/MapiProps.h"
#include "mmconv/message/TraceAddress.h"

namespace mmconv {
namespace {

// PSETID_Appointment.
constexpr ULONG kLidSequence = 0x8201;
constexpr ULONG kLidLastSequence = 0x8203;
constexpr ULONG kLidBusyStatus = 0x8205;
constexpr ULONG kLidLocation = 0x8208;
constexpr ULONG kLidStartWhole = 0x820D;
constexpr ULONG kLidEndWhole = 0x820E;
constexpr ULONG kLidStartDate = 0x8212;
constexpr ULONG kLidEndDate = 0x8211;
constexpr ULONG kLidColor = 0x8214;
constexpr ULONG kLidSubType = 0x8215;
constexpr ULONG kLidRecur = 0x8216;
constexpr ULONG kLidStateFlags = 0x8217;
constexpr ULONG kLidResponseStatus = 0x8218;
constexpr ULONG kLidRecurring = 0x8223;
constexpr ULONG kLidIntendedBusyStatus = 0x8224;
constexpr ULONG kLidClipStart = 0x8235;
constexpr ULONG kLidProposedStart = 0x8250;
constexpr ULONG kLidProposedEnd = 0x8251;
constexpr ULONG kLidCounterProposal = 0x8257;
// PSETID_Common.
constexpr ULONG kLidReminderDelta = 0x8501;
constexpr ULONG kLidCommonStart = 0x8516;
constexpr ULONG kLidCurrentVersionName = 0x8554;
// PSETID_Meeting.
constexpr ULONG kLidIsRecurring = 0x0005;
constexpr ULONG kLidIsException = 0x000A;

constexpr LONG kTagsEvent = 1;
constexpr LONG kTagsAlarm = 2;
constexpr LONG kStateCanceledReceived = 7;
constexpr LONG kResponseNotResponded = 5;
constexpr LONG kLongestReminder = 20160;
constexpr LONG kDefaultReminder = 15;
constexpr ULONG kConfigReminderAfter = 0x66B0000B;
constexpr int kOwnParserVersions = 11;

constexpr std::array<std::string_view, 8> kKindClasses = {"IPM.Appointment", "IPM.Schedule.Meeting.Request",
    "IPM.Schedule.Meeting.Canceled", "IPM.Schedule.Meeting.Resp", "IPM.Schedule.Meeting.Resp",
    "IPM.Schedule.Meeting.Resp.Pos", "IPM.Schedule.Meeting.Resp.Tent", "IPM.Schedule.Meeting.Resp.Neg"};
constexpr const char* kBusyWords[] = {"FREE", "TENTATIVE", "BUSY", "OOF"};

std::optional<std::uint64_t> TimeOf(IMessage* message, ULONG tag)
{
    PropValues values;
    const ULONG tags[] = {tag};
    values.Read(message, tags);
    return values.Time(tag);
}

} // namespace

HRESULT CAppointmentMsg::GetCalendarIPMMessageClass(std::size_t& kind, bool answers)
{
    PropValues values;
    const ULONG tags[] = {PR_MESSAGE_CLASS_A};
    values.Read(Message(), tags);
    const std::string_view messageClass = values.Ansi(PR_MESSAGE_CLASS_A).value_or("");
    for (std::size_t i = 0; i < kKindClasses.size(); ++i) {
        const std::size_t index = answers ? kKindClasses.size() - 1 - i : i;
        if (messageClass.starts_with(kKindClasses[index])) {
            kind = index;
            return S_OK;
        }
    }
    kind = kKindAppointment;
    return IsExceptionItem() ? S_OK : MAPI_E_NOT_FOUND;
}

HRESULT CAppointmentMsg::GetMethod(std::string& method)
{
    std::size_t kind = 0;
    if (HRESULT hr = GetCalendarIPMMessageClass(kind); FAILED(hr))
        return hr;
    static constexpr const char* kMethods[] = {"PUBLISH", "REQUEST", "CANCEL"};
    if (kind < kKindResponse)
        method = kMethods[kind];
    else
        method = NamedBoolean(kLidCounterProposal).value_or(false) ? "COUNTER" : "REPLY";
    return S_OK;
}

HRESULT CAppointmentMsg::GetStatus(std::string& status)
{
    std::size_t kind = 0;
    if (HRESULT hr = GetCalendarIPMMessageClass(kind); FAILED(hr))
        return hr;
    switch (kind) {
    case kKindAppointment:
        status = NamedLong(kLidStateFlags) == kStateCanceledReceived && NamedLong(kLidResponseStatus) == kResponseNotResponded
                     ? "CANCELLED"
                     : "CONFIRMED";
        return S_OK;
    case kKindRequest:
        status = "CONFIRMED";
        return S_OK;
    case kKindCancellation:
        status = "CANCELLED";
        return S_OK;
    default:
        status = "TENTATIVE";
        return S_OK;
    }
}

bool CAppointmentMsg::IsRecurring()
{
    return NamedBoolean(kLidRecurring).value_or(false);
}

bool CAppointmentMsg::IsAllDay()
{
    return NamedBoolean(kLidSubType).value_or(false);
}

bool CAppointmentMsg::IsCreatedByInternalParser()
{
    const std::optional<std::u16string> version = NamedUnicode(kLidCurrentVersionName);
    if (!version)
        return false;
    const std::string digits(version->begin(), version->end());
    int number = 0;
    const auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    const std::optional<std::uint64_t> clipStart = NamedTime(kLidClipStart);
    const std::optional<std::uint64_t> commonStart = NamedTime(kLidCommonStart);
    const bool created = parsed.ec == std::errc() && number < kOwnParserVersions &&
                         NamedBoolean(kLidIsRecurring).value_or(false) && !NamedBoolean(kLidIsException).value_or(true) &&
                         clipStart && (*clipStart / (kTicksPerSecond * 60)) % kMinutesPerDay == 0 && commonStart &&
                         commonStart == NamedTime(kLidStartWhole);
    if (created)
        TraceConversion("CAppointmentMsg(%#lx)::IsCreatedByInternalParser = yes\n", TraceAddress(this));
    return created;
}

CAppointmentMsg::TimeForm CAppointmentMsg::EventTimeForm()
{
    TimeForm form;
    if (IsAllDay()) {
        form.writeUtc = false;
        form.withTime = false;
    }
    if (!ZoneName().empty()) {
        form.writeUtc = false;
        form.sourceUtc = !IsCreatedByInternalParser();
    }
    return form;
}

// The proposed time of a counter-proposal, else the whole start or end, else the older forms.
std::optional<std::uint64_t> CAppointmentMsg::EventTime(const EventTimeSources& sources, bool proposed)
{
    std::optional<std::uint64_t> time = proposed ? NamedTime(sources.proposedLid) : std::nullopt;
    if (!time)
        time = NamedTime(sources.wholeLid);
    if (!time)
        time = TimeOf(Message(), sources.tag);
    if (!time)
        time = NamedTime(sources.olderLid);
    return time;
}

HRESULT CAppointmentMsg::SaveEventTime(MimeOutput& output, unsigned& column, const char* name,
    std::optional<std::uint64_t> value, const TimeForm& form)
{
    if (!value)
        return S_OK;
    OutputStringRfc2445(output, name, column);
    const std::string zone = ZoneName();
    if (!form.withTime)
        OutputStringRfc2445(output, ";VALUE=DATE", column);
    else if (!zone.empty())
        OutputStringRfc2445(output, ";TZID=\"" + zone + "\"", column);
    OutputStringRfc2445(output, ":", column);
    OutputFileTimeRfc2445(output, *value, column, form.sourceUtc, form.writeUtc, form.withTime);
    return OutputStringRfc2445(output, "\n", column);
}

HRESULT CAppointmentMsg::SaveCalendarComponentContent(MimeOutput& output, unsigned& column)
{
    TraceConversion("CAppointmentMsg(%#lx)::SaveCalendarComponentContent\n", TraceAddress(this));
    OutputStringRfc2445(output, "BEGIN:VEVENT\n", column);
    const TimeForm form = EventTimeForm();
    const bool counter = NamedBoolean(kLidCounterProposal).value_or(false);
    SaveEventTime(output, column, "DTSTART", EventTime({kLidProposedStart, kLidStartWhole, PR_START_DATE, kLidStartDate}, counter),
        form);
    SaveEventTime(output, column, "DTEND", EventTime({kLidProposedEnd, kLidEndWhole, PR_END_DATE, kLidEndDate}, counter), form);
    if (const std::optional<std::u16string> location = NamedUnicode(kLidLocation); location && !location->empty()) {
        OutputStringRfc2445(output, "LOCATION:", column);
        OutputStringRfc2445W(output, *location, column, true);
        OutputStringRfc2445(output, "\n", column);
    }
    if (const std::optional<LONG> busy = NamedLong(kLidBusyStatus)) {
        if (*busy >= 0 && *busy <= 3)
            OutputStringRfc2445(output, std::string("X-MICROSOFT-CDO-BUSYSTATUS:") + kBusyWords[*busy] + "\n", column);
        OutputStringRfc2445(output, *busy == 0 ? "TRANSP:TRANSPARENT\n" : "TRANSP:OPAQUE\n", column);
    }
    std::size_t kind = 0;
    if (SUCCEEDED(GetCalendarIPMMessageClass(kind)) && kind == kKindRequest) {
        if (const std::optional<LONG> intended = NamedLong(kLidIntendedBusyStatus); intended && *intended >= 0 && *intended <= 3)
            OutputStringRfc2445(output, std::string("X-MICROSOFT-CDO-INTENDEDSTATUS:") + kBusyWords[*intended] + "\n", column);
    }
    const std::optional<bool> allDay = NamedBoolean(kLidSubType);
    if (!IsExceptionItem() || allDay)
        OutputStringRfc2445(output, allDay.value_or(false) ? "X-MICROSOFT-CDO-ALLDAYEVENT:TRUE\n" : "X-MICROSOFT-CDO-ALLDAYEVENT:FALSE\n",
            column);
    if (counter) {
        for (const auto& [name, lid] : {std::pair{"X-MS-OLK-ORIGINALSTART:", kLidStartWhole},
                 std::pair{"X-MS-OLK-ORIGINALEND:", kLidEndWhole}}) {
            if (const std::optional<std::uint64_t> original = NamedTime(lid)) {
                OutputStringRfc2445(output, name, column);
                OutputFileTimeRfc2445(output, *original, column, true, true, true);
                OutputStringRfc2445(output, "\n", column);
            }
        }
    }
    if (const std::optional<LONG> color = NamedLong(kLidColor); color && *color >= 1)
        OutputStringRfc2445(output, "X-MAPI-LABEL:" + std::to_string(*color) + "\n", column);
    CCalendar::SaveCalendarComponentContent(output, column);
    SaveCustomTags(output, column, kTagsEvent);
    return OutputStringRfc2445(output, "END:VEVENT\n", column);
}

HRESULT CAppointmentMsg::SaveSequenceProp(MimeOutput& output, unsigned& column)
{
    std::optional<LONG> sequence = NamedLong(kLidSequence);
    if (!sequence)
        sequence = NamedLong(kLidLastSequence);
    if (!sequence)
        return S_OK;
    return OutputStringRfc2445(output, "SEQUENCE:" + std::to_string(*sequence) + "\n", column);
}

HRESULT CAppointmentMsg::SaveStatusProp(MimeOutput& output, unsigned& column)
{
    std::string status;
    if (FAILED(GetStatus(status)))
        return S_OK;
    return OutputStringRfc2445(output, "STATUS:" + status + "\n", column);
}

HRESULT CAppointmentMsg::SaveRRuleProp(MimeOutput& output, unsigned& column)
{
    if (!IsRecurring())
        return S_OK;
    const std::optional<std::string> pattern = NamedBinary(kLidRecur);
    if (!pattern) {
        TraceConversion("CAppointmentMsg(%#lx)::SaveRRuleProp - unable to save\n", TraceAddress(this));
        return S_OK;
    }
    return SaveRRule(output, column, AsBytes(*pattern), IsAllDay());
}

HRESULT CAppointmentMsg::SaveCalendarVAlarmContent(MimeOutput& output, unsigned& column)
{
    const bool reminderSet = NamedBoolean(kLidReminderSet).value_or(false);
    const std::optional<LONG> delta = NamedLong(kLidReminderDelta);
    if (!reminderSet || !delta) {
        if (IsExceptionItem() && reminderSet)
            return OutputStringRfc2445(output, "X-MAPI-EXCEP-ALARM:yes\n", column);
        return S_OK;
    }
    const LONG minutes = *delta < 0 || *delta > kLongestReminder ? kDefaultReminder : *delta;
    std::string trigger = "TRIGGER:";
    if ((GetFlags() & kFlagExport) != 0 || !Support().GetConfigFlag(kConfigReminderAfter))
        trigger += "-";
    trigger += "P";
    if (minutes / kMinutesPerDay != 0)
        trigger += std::to_string(minutes / kMinutesPerDay) + "D";
    // A reminder at the start itself is a duration of no minutes.
    if (minutes % kMinutesPerDay != 0 || minutes == 0) {
        trigger += "T";
        if (minutes % kMinutesPerDay / 60 != 0)
            trigger += std::to_string(minutes % kMinutesPerDay / 60) + "H";
        if (minutes % 60 != 0 || minutes == 0)
            trigger += std::to_string(minutes % 60) + "M";
    }
    OutputStringRfc2445(output, "BEGIN:VALARM\nACTION:DISPLAY\nDESCRIPTION:REMINDER\n" + trigger + "\n", column);
    SaveAlarmWhenProp(output, column);
    SaveCustomTags(output, column, kTagsAlarm);
    return OutputStringRfc2445(output, "END:VALARM\n", column);
}

} // namespace mmconv
