// CTaskMsg: the message shape, the kinds, and the VTODO with its properties and participants.
#include "mmconv/calendar/TaskMsg.h"

#include <mapicode.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <array>
#include <string_view>

#include "mmconv/body/RtfBodyType.h"
#include "mmconv/calendar/ContentText.h"
#include "mmconv/encoding/ConversionTrace.h"
#include "mmconv/encoding/Utf8.h"
#include "mmconv/message/AsciiCase.h"
#include "mmconv/message/MapiProps.h"
#include "mmconv/message/MessageClassTable.h"
#include "mmconv/message/MimeParameter.h"
#include "mmconv/message/TraceAddress.h"

namespace mmconv {
namespace {

// PSETID_Task.
constexpr ULONG kLidTaskStatus = 0x8101;
constexpr ULONG kLidPercentComplete = 0x8102;
constexpr ULONG kLidTaskVersion = 0x8112;
constexpr ULONG kLidTaskRecurrence = 0x8116;
constexpr ULONG kLidTaskHistory = 0x811A;
constexpr ULONG kLidTaskRecurring = 0x8126;
// PSETID_Common.
constexpr ULONG kLidReminderTime = 0x8502;
constexpr ULONG kLidCommonStart = 0x8516;
constexpr ULONG kLidCommonEnd = 0x8517;
constexpr ULONG kLidTaskGlobalId = 0x8519;

constexpr LONG kTagsTodo = 4;
constexpr LONG kTagsAlarm = 2;
constexpr LONG kRecipientOrganizer = 3;
constexpr std::string_view kGlobalIdMarker = "SPARTAK_CHAMPION_";
constexpr ULONG kConfigOwnName = 0x3001001E;
constexpr ULONG kConfigOwnAddress = 0x3003001E;
constexpr ULONG kSentRepresentingSmtp = 0x5D02001E;
constexpr ULONG kSentRepresentingEmail = 0x0065001E;
constexpr ULONG kSenderEmail = 0x0C1F001E;

constexpr std::array<std::string_view, kTaskKinds> kKindClasses = {"IPM.Task", "IPM.TaskRequest",
    "IPM.TaskRequest.Accept", "IPM.TaskRequest.Decline", "IPM.TaskRequest.Update"};
constexpr const char* kStatusWords[] = {"NEEDS-ACTION", "IN-PROCESS", "COMPLETED", "X-MAPI-WFSE", "X-MAPI-DEFERRED"};

std::size_t KindOfClass(IMessage* message)
{
    PropValues values;
    const ULONG tags[] = {PR_MESSAGE_CLASS_A};
    values.Read(message, tags);
    const std::optional<std::string_view> messageClass = values.Ansi(PR_MESSAGE_CLASS_A);
    if (!messageClass)
        return kTaskKinds;
    return DetermineCustomClass(*messageClass, kKindClasses);
}

// The answer word of the task's history: 1 accepted, 2 declined.
const char* AnswerWord(std::optional<LONG> history)
{
    return history == 1 ? "ACCEPTED" : history == 2 ? "DECLINED" : nullptr;
}

} // namespace

std::size_t CTaskMsg::GetCalendarIPMMessageClass()
{
    return KindOfClass(Message());
}

std::size_t CTaskMsg::GetParentIPMMessageClass()
{
    return KindOfClass(CalendarContext() != nullptr ? CalendarContext() : Message());
}

std::size_t CTaskMsg::Kind()
{
    if (!kind_)
        kind_ = GetParentIPMMessageClass();
    return *kind_;
}

HRESULT CTaskMsg::GetMethod(std::string& method)
{
    const std::size_t kind = Kind();
    if (kind >= kTaskKinds)
        return MAPI_E_NOT_FOUND;
    method = kind == kKindTask ? "PUBLISH" : kind == kKindTaskRequest ? "REQUEST" : "REPLY";
    return S_OK;
}

HRESULT CTaskMsg::GetBodyType(unsigned& bodyType)
{
    bodyType = (GetFlags() & kFlagSaveAsTnef) != 0 ? kBodyTypePlain : kBodyTypeCustom;
    return S_OK;
}

bool CTaskMsg::IsRecurring()
{
    return NamedBoolean(kLidTaskRecurring).value_or(false);
}

HRESULT CTaskMsg::SaveContent(MimeOutput& output)
{
    TraceConversion("CTaskMsg(%#lx)::SaveContent\n", TraceAddress(this));
    const std::size_t kind = GetCalendarIPMMessageClass();
    if ((GetFlags() & kFlagSaveAsTnef) != 0)
        return SaveContentWithNativeTnef(output);
    if (kind == kKindTask || kind >= kTaskKinds)
        return CMMMessage::SaveContent(output);
    return SaveRequestContent(output);
}

HRESULT CTaskMsg::SaveRequestContent(MimeOutput& output)
{
    MapiPtr<IMAPITable> table;
    MapiRows rows;
    MapiPtr<IAttach> attach;
    MapiPtr<IMessage> embedded;
    const ULONG columns[] = {PR_ATTACH_NUM, PR_ATTACH_METHOD};
    TagList columnList(columns);
    const bool found = SUCCEEDED(Message()->GetAttachmentTable(0, table.put())) &&
                       SUCCEEDED(HrQueryAllRows(table.get(), columnList.get(), nullptr, nullptr, 1, rows.put())) &&
                       rows.size() > 0;
    const SRow* first = found ? &rows->aRow[0] : nullptr;
    const SPropValue* number = first ? FindValue(first->lpProps, first->cValues, PR_ATTACH_NUM) : nullptr;
    const SPropValue* method = first ? FindValue(first->lpProps, first->cValues, PR_ATTACH_METHOD) : nullptr;
    const bool opened = number != nullptr && method != nullptr && method->Value.l == ATTACH_EMBEDDED_MSG &&
                        SUCCEEDED(Message()->OpenAttach(static_cast<ULONG>(number->Value.l), nullptr, 0, attach.put())) &&
                        SUCCEEDED(attach->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, 0,
                            reinterpret_cast<LPUNKNOWN*>(embedded.put())));
    if (!opened || KindOfClass(embedded.get()) != kKindTask) {
        TraceConversion("CTaskMsg(%#lx)::SaveContent error - invalid format of Taskrequest message, save as tnef\n",
            TraceAddress(this));
        return SaveContentWithNativeTnef(output);
    }
    CTaskMsg task(embedded.get(), Support(), GetFlags(), Message());
    AttachesInfo info;
    bool hasAttachments = false;
    task.CheckAttaches(hasAttachments);
    if (hasAttachments)
        task.GetAttachesInfo(info);
    std::string mixed;
    if (info.regularCount > 0) {
        if (HRESULT hr = SaveContentHeader(output, "multipart", "mixed", mixed, true); FAILED(hr))
            return hr;
    }
    std::string boundary;
    if (HRESULT hr = task.SaveContentHeader(output, "multipart", "alternative", boundary, false); FAILED(hr))
        return hr;
    if (HRESULT hr = task.SaveMsgBody(output, nullptr); FAILED(hr))
        return hr;
    output.Write("--" + boundary + "\r\n");
    if (HRESULT hr = task.SaveCustomBody(output); FAILED(hr))
        return hr;
    output.Write("--" + boundary + "--\r\n\r\n");
    if (mixed.empty())
        return S_OK;
    if (HRESULT hr = task.SaveAttaches(output, mixed, info.typeMask, true); FAILED(hr))
        return hr;
    return output.Write("--" + mixed + "--\r\n\r\n");
}

HRESULT CTaskMsg::SaveTaskTime(MimeOutput& output, unsigned& column, const char* name, ULONG lid)
{
    const std::optional<std::uint64_t> value = NamedTime(lid);
    if (!value)
        return S_OK;
    const std::string zone = ZoneName();
    OutputStringRfc2445(output, name, column);
    OutputStringRfc2445(output, zone.empty() ? std::string(":") : ";TZID=\"" + zone + "\":", column);
    OutputFileTimeRfc2445(output, *value, column, true, zone.empty(), true);
    return OutputStringRfc2445(output, "\n", column);
}

HRESULT CTaskMsg::SaveCalendarComponentContent(MimeOutput& output, unsigned& column)
{
    TraceConversion("CTaskMsg(%#lx)::SaveCalendarComponentContent\n", TraceAddress(this));
    Kind();
    OutputStringRfc2445(output, "BEGIN:VTODO\n", column);
    SaveTaskTime(output, column, "DTSTART", kLidCommonStart);
    SaveTaskTime(output, column, "DUE", kLidCommonEnd);
    MapiBuffer<SPropValue> percent;
    if (SUCCEEDED(NamedProps().GetProp(NamedKey(kLidPercentComplete, PT_DOUBLE), percent))) {
        const double value = percent->Value.dbl * 100;
        const long whole = value > 100 ? 100 : value < 0 ? 0 : static_cast<long>(value);
        OutputStringRfc2445(output, "PERCENT-COMPLETE:" + std::to_string(whole) + "\n", column);
    }
    CCalendar::SaveCalendarComponentContent(output, column);
    SaveCustomTags(output, column, kTagsTodo);
    return OutputStringRfc2445(output, "END:VTODO\n", column);
}

HRESULT CTaskMsg::SaveSequenceProp(MimeOutput& output, unsigned& column)
{
    const std::optional<LONG> version = NamedLong(kLidTaskVersion);
    if (!version)
        return S_OK;
    const std::string number = std::to_string(*version);
    return OutputStringRfc2445(output, "SEQUENCE:" + number + "\nX-MAPI-SEQUENCE:" + number + "\n", column);
}

// An answer to an assignment carries the status of its handling, which iTIP requires of a task reply.
HRESULT CTaskMsg::SaveStatusProp(MimeOutput& output, unsigned& column)
{
    if (Kind() >= kKindTaskAccept && Kind() < kTaskKinds)
        return OutputStringRfc2445(output, "REQUEST-STATUS:2.0;Success\n", column);
    const std::optional<LONG> status = NamedLong(kLidTaskStatus);
    if ((Kind() != kKindTask && Kind() != kKindTaskRequest) || !status || *status < 0 || *status > 4)
        return S_OK;
    return OutputStringRfc2445(output, std::string("STATUS:") + kStatusWords[*status] + "\n", column);
}

HRESULT CTaskMsg::SaveRRuleProp(MimeOutput& output, unsigned& column)
{
    if (!IsRecurring())
        return S_OK;
    MapiBuffer<SPropValue> pattern;
    if (FAILED(NamedProps().GetProp(NamedKey(kLidTaskRecurrence, PT_BINARY), pattern)))
        return S_OK;
    return SaveRRule(output, column, {pattern->Value.bin.lpb, pattern->Value.bin.cb}, false);
}

HRESULT CTaskMsg::SaveUID(MimeOutput& output, unsigned& column)
{
    MapiBuffer<SPropValue> globalId;
    if (SUCCEEDED(NamedProps().GetProp(NamedKey(kLidTaskGlobalId, PT_BINARY), globalId))) {
        const std::string_view id(reinterpret_cast<const char*>(globalId->Value.bin.lpb), globalId->Value.bin.cb);
        if (id.size() > 16 && id.size() > kGlobalIdMarker.size() && id.starts_with(kGlobalIdMarker))
            return OutputStringRfc2445(output, "UID:" + WithoutControls(id.substr(kGlobalIdMarker.size())) + "\n", column);
        return OutputStringRfc2445(output, "UID:" + HexText(id) + "\n", column);
    }
    // A component needs its UID.
    if (const std::optional<StableKey> key = ItemStableKey())
        return OutputStringRfc2445(output, "UID:" + HexText(key->bytes) + "\n", column);
    return S_OK;
}

HRESULT CTaskMsg::SaveCalendarVAlarmContent(MimeOutput& output, unsigned& column)
{
    const std::optional<std::uint64_t> reminder = NamedTime(kLidReminderTime);
    if (!NamedBoolean(kLidReminderSet).value_or(false) || !reminder)
        return S_OK;
    OutputStringRfc2445(output, "BEGIN:VALARM\nACTION:DISPLAY\nDESCRIPTION:REMINDER\nTRIGGER;VALUE=DATE-TIME:", column);
    OutputFileTimeRfc2445(output, *reminder, column, true, true, true);
    OutputStringRfc2445(output, "\n", column);
    SaveAlarmWhenProp(output, column);
    SaveCustomTags(output, column, kTagsAlarm);
    return OutputStringRfc2445(output, "END:VALARM\n", column);
}

HRESULT CTaskMsg::SaveMeetingParticipators(MimeOutput& output, unsigned& column)
{
    const std::size_t kind = Kind();
    if (kind >= kTaskKinds)
        return MAPI_E_NOT_FOUND;
    MapiPtr<IMAPITable> table;
    MapiRows rows;
    const ULONG columns[] = {PR_ADDRTYPE_W, PR_EMAIL_ADDRESS_W, PR_DISPLAY_NAME_W, PR_RECIPIENT_TYPE, PR_SMTP_ADDRESS_W};
    TagList columnList(columns);
    HRESULT hr = Message()->GetRecipientTable(MAPI_UNICODE, table.put());
    if (SUCCEEDED(hr))
        hr = HrQueryAllRows(table.get(), columnList.get(), nullptr, nullptr, 0, rows.put());
    const std::optional<LONG> history = NamedLong(kLidTaskHistory);
    const std::optional<LONG> status = NamedLong(kLidTaskStatus);
    bool organizerWritten = false;
    for (ULONG i = 0; SUCCEEDED(hr) && i < rows.size(); ++i) {
        const SRow& row = rows->aRow[i];
        const std::u16string_view type = UnicodeValue(FindValue(row.lpProps, row.cValues, PR_ADDRTYPE_W)).value_or(u"");
        const ULONG addressTag = EqualIgnoringAsciiCase(type, u"SMTP") ? PR_EMAIL_ADDRESS_W : PR_SMTP_ADDRESS_W;
        const std::u16string_view address = UnicodeValue(FindValue(row.lpProps, row.cValues, addressTag)).value_or(u"");
        const SPropValue* recipientType = FindValue(row.lpProps, row.cValues, PR_RECIPIENT_TYPE);
        if (address.empty() || recipientType == nullptr)
            continue;
        const LONG recipient = recipientType->Value.l;
        const char* word = nullptr;
        if (recipient == static_cast<LONG>(kRecipientTo))
            word = kind == kKindTask || kind == kKindTaskRequest ? "ATTENDEE"
                   : kind == kKindTaskUpdate                     ? nullptr
                                                                 : "ORGANIZER";
        else if (recipient == kRecipientOrganizer && (kind == kKindTask || kind == kKindTaskUpdate))
            word = "ORGANIZER";
        if (word == nullptr)
            continue;
        const bool attendee = std::string_view(word) == "ATTENDEE";
        std::string line = word;
        if (kind == kKindTask && attendee) {
            if (const char* answer = AnswerWord(history))
                line += std::string(";PARTSTAT=") + answer;
            else if (status == 1 || status == 2)
                line += status == 1 ? ";PARTSTAT=IN-PROCESS" : ";PARTSTAT=COMPLETED";
        }
        line += NameParameter(UnicodeValue(FindValue(row.lpProps, row.cValues, PR_DISPLAY_NAME_W)).value_or(u""));
        if (kind == kKindTaskRequest || kind == kKindTaskUpdate || (kind == kKindTask && attendee))
            line += ";RSVP=TRUE";
        OutputStringRfc2445(output, line + ":MAILTO:", column);
        OutputStringRfc2445(output, WithoutControls(WideToUtf8(address)), column);
        OutputStringRfc2445(output, "\n", column);
        organizerWritten = organizerWritten || !attendee;
        if ((kind == kKindTask && organizerWritten) || kind >= kKindTaskAccept)
            break;
    }
    SaveOwnSide(output, column, organizerWritten);
    return hr;
}

// The line of the party on this side (its address as stored, without what would break the line): the mailbox owner for a task, else the sender of the
// task-assignment message.
HRESULT CTaskMsg::SaveOwnSide(MimeOutput& output, unsigned& column, bool organizerWritten)
{
    const std::size_t kind = Kind();
    std::string address;
    std::u16string name;
    if (kind == kKindTask) {
        address = Support().GetConfigString(kConfigOwnAddress).value_or("");
        name = Utf8ToWide(Support().GetConfigString(kConfigOwnName).value_or(""));
    } else {
        IMessage* source = CalendarContext() != nullptr ? CalendarContext() : Message();
        PropValues values;
        const ULONG tags[] = {kSentRepresentingSmtp, kSentRepresentingEmail, kSenderEmail, PR_SENT_REPRESENTING_NAME_W,
            PR_SENDER_NAME_W, PR_SENT_REPRESENTING_ADDRTYPE_W, PR_SENDER_ADDRTYPE_W};
        values.Read(source, tags);
        // An Exchange address is no mail address: the e-mail addresses count only with type SMTP.
        const bool representingSmtp = EqualIgnoringAsciiCase(values.Unicode(PR_SENT_REPRESENTING_ADDRTYPE_W).value_or(u""), u"SMTP");
        const bool senderSmtp = EqualIgnoringAsciiCase(values.Unicode(PR_SENDER_ADDRTYPE_W).value_or(u""), u"SMTP");
        if (auto smtp = values.Ansi(kSentRepresentingSmtp))
            address = *smtp;
        else if (auto email = values.Ansi(kSentRepresentingEmail); email && representingSmtp)
            address = *email;
        else if (auto sender = values.Ansi(kSenderEmail); sender && senderSmtp)
            address = *sender;
        name = std::u16string(values.Unicode(PR_SENT_REPRESENTING_NAME_W).value_or(values.Unicode(PR_SENDER_NAME_W).value_or(u"")));
    }
    if (address.empty())
        return S_OK;
    const bool organizer = kind == kKindTaskRequest || (kind == kKindTask && !organizerWritten);
    std::string line = organizer ? "ORGANIZER" : "ATTENDEE";
    if (kind == kKindTask && organizerWritten) {
        if (const char* answer = AnswerWord(NamedLong(kLidTaskHistory)))
            line += std::string(";PARTSTAT=") + answer;
        line += ";RSVP=TRUE";
    } else if (kind == kKindTaskAccept || kind == kKindTaskDecline) {
        // One PARTSTAT: the answer; the task's own status is no participation state.
        line += kind == kKindTaskAccept ? ";PARTSTAT=ACCEPTED" : ";PARTSTAT=DECLINED";
        line += ";RSVP=TRUE";
    }
    line += NameParameter(name) + ":MAILTO:";
    OutputStringRfc2445(output, line, column);
    OutputStringRfc2445(output, WithoutControls(address), column);
    return OutputStringRfc2445(output, "\n", column);
}

} // namespace mmconv
