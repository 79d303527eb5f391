// CCalendar: the body entity header, the VCALENDAR frame and the properties every component carries.
#include "mmconv/calendar/Calendar.h"

#include <mapicode.h>
#include <mapiguid.h>
#include <mapitags.h>

#include <ctime>

#include "mmconv/body/RtfBodyType.h"
#include "mmconv/calendar/CivilTime.h"
#include "mmconv/calendar/ContentText.h"
#include "mmconv/encoding/CodePageConversion.h"
#include "mmconv/encoding/ConversionTrace.h"
#include "mmconv/encoding/Utf8.h"
#include "mmconv/message/ConfigProp.h"
#include "mmconv/message/FoldedOutput.h"
#include "mmconv/message/LibraryState.h"
#include "mmconv/message/MapiProps.h"
#include "mmconv/message/MessageClassTable.h"
#include "mmconv/message/MimeParameter.h"
#include "mmconv/message/TraceAddress.h"
#include "platform/locale/CodePages.h"

namespace mmconv {
namespace {

// Configuration flag: no X-ALT-DESC with the HTML body.
constexpr ULONG kConfigNoAltDescription = 0x66B8000B;
constexpr LONG kTagsCalendar = 0;
constexpr LONG kSensitivityPrivate = 2;

MapiPtr<IMessage> Hold(IMessage* message)
{
    if (message != nullptr)
        message->AddRef();
    return MapiPtr<IMessage>(message);
}

void TraceFailure(int line, const char* what, HRESULT hr)
{
    if (FAILED(hr))
        TraceConversion("%s(%d) : %s failed %#x: %s\n", "Calendar", line, what, static_cast<unsigned>(hr), "");
}

} // namespace

CCalendar::CCalendar(IMessage* message, MMCnvSupport& support, ULONG flags, IMessage* calendarContext)
    : CMMMessage(message, support, flags), calendarContext_(Hold(calendarContext))
{
}

CCalendar::~CCalendar() = default;

HRESULT CCalendar::SaveCustomBody(MimeOutput& output)
{
    return SaveCalendar(output);
}

HRESULT CCalendar::SaveCalendar(MimeOutput& output)
{
    HRESULT hr = SaveCalendarHeader(output);
    if (SUCCEEDED(hr))
        hr = SaveCalendarContent(output);
    TraceFailure(__LINE__, "SaveCalendar", hr);
    const HRESULT closed = output.Write("\r\n");
    return FAILED(hr) ? hr : closed;
}

HRESULT CCalendar::SaveCalendarHeader(MimeOutput& output)
{
    TraceConversion("CCalendar(%#lx)::SaveCalendarHeader\n", TraceAddress(this));
    std::string field = "text/calendar";
    std::string method;
    if (SUCCEEDED(WrittenMethod(method)))
        AppendParameter(field, "method", method);
    AppendParameter(field, "charset", std::string_view("utf-8"));
    AppendParameter(field, "name", std::string_view("meeting.ics"));
    output.WriteHeader("Content-Type", field);
    output.WriteHeader("Content-Transfer-Encoding", "8bit");
    return output.Write("\r\n");
}

HRESULT CCalendar::SaveCalendarContent(MimeOutput& output)
{
    unsigned column = 0;
    OutputStringRfc2445(output, "BEGIN:VCALENDAR\n", column);
    std::string method;
    if (SUCCEEDED(WrittenMethod(method)))
        OutputStringRfc2445(output, "METHOD:" + method + "\n", column);
    OutputStringRfc2445(output, "PRODID:" + MailerValue() + "\n", column);
    OutputStringRfc2445(output, "VERSION:2.0\n", column);
    TimeZoneRule rule;
    std::string name;
    if (UseTimeZone4Save() && SUCCEEDED(GetMessageTZ(rule, name)) && !name.empty())
        TraceFailure(__LINE__, "SaveTimeZone", SaveTimeZone(output, column, rule, name));
    if (HRESULT hr = SaveCalendarComponentContent(output, column); FAILED(hr))
        return hr;
    SaveCustomTags(output, column, kTagsCalendar);
    return OutputStringRfc2445(output, "END:VCALENDAR\n", column);
}

HRESULT CCalendar::SaveCalendarComponentContent(MimeOutput& output, unsigned& column)
{
    TraceConversion("CCalendar(%#lx)::SaveCalendarComponentContent\n", TraceAddress(this));
    SaveDtStamp(output, column);
    PropValues values;
    const ULONG tags[] = {PR_PRIORITY, PR_SUBJECT_W, PR_NORMALIZED_SUBJECT_W};
    values.Read(Message(), tags);
    if (const std::optional<LONG> priority = values.Long(PR_PRIORITY)) {
        OutputStringRfc2445(output, *priority == 0 ? "PRIORITY:5\n" : *priority > 0 ? "PRIORITY:1\n" : "PRIORITY:9\n", column);
        OutputStringRfc2445(output, *priority == 0 ? "X-MICROSOFT-CDO-IMPORTANCE:1\n" : *priority == 1 ? "X-MICROSOFT-CDO-IMPORTANCE:2\n"
                                                                                           : "X-MICROSOFT-CDO-IMPORTANCE:3\n",
            column);
    }
    std::optional<std::u16string_view> summary = values.Unicode(PR_SUBJECT_W);
    if (!summary)
        summary = values.Unicode(PR_NORMALIZED_SUBJECT_W);
    if (summary) {
        OutputStringRfc2445(output, "SUMMARY:", column);
        OutputStringRfc2445W(output, *summary, column, true);
        OutputStringRfc2445(output, "\n", column);
    }
    std::string method;
    GetMethod(method);
    SaveBodyProps(output, column, method);
    SaveCategories(output, column);
    SaveSequenceProp(output, column);
    TraceFailure(__LINE__, "SaveRRuleProp", SaveRRuleProp(output, column));
    SaveClass(output, column);
    SaveStatusProp(output, column);
    SaveUID(output, column);
    OutputStringRfc2445(output, ParticipantLines(), column);
    SaveCalendarVAlarmContent(output, column);
    return S_OK;
}

const std::string& CCalendar::ParticipantLines()
{
    if (!participantLines_) {
        participantLines_.emplace();
        MimeOutput gathered(*participantLines_);
        unsigned column = 0;
        SaveMeetingParticipators(gathered, column);
    }
    return *participantLines_;
}

HRESULT CCalendar::WrittenMethod(std::string& method)
{
    if (HRESULT hr = GetMethod(method); FAILED(hr))
        return hr;
    unsigned organizers = 0;
    unsigned attendees = 0;
    std::string_view lines = ParticipantLines();
    for (std::size_t at = 0; at < lines.size();) {
        const std::string_view line = lines.substr(at, lines.find('\n', at) - at);
        organizers += line.starts_with("ORGANIZER") ? 1 : 0;
        attendees += line.starts_with("ATTENDEE") ? 1 : 0;
        at += line.size() + 1;
    }
    const bool fits = organizers == 1 && (method == "PUBLISH" ? attendees == 0
                                                                : method == "REPLY" ? attendees == 1 : attendees >= 1);
    if (fits)
        return S_OK;
    TraceConversion("CCalendar(%#lx)::WrittenMethod - %s left out: %u organizers, %u attendees\n", TraceAddress(this),
        method.c_str(), organizers, attendees);
    method.clear();
    return MAPI_E_NOT_FOUND;
}

HRESULT CCalendar::SaveBodyProps(MimeOutput& output, unsigned& column, const std::string& method)
{
    // HTML-only items give their text from the HTML, as the text body of a mail would.
    const unsigned sourceType = CMMMessage::GetBodyType(Message(), Support());
    std::string text;
    std::string charset = "utf-8";
    unsigned codePage = platform::kCodePageUtf8;
    PlainText(sourceType, text, charset, codePage);
    if (IsExceptionItem() && text.empty())
        return S_OK;
    OutputStringRfc2445(output, method == "REPLY" ? "COMMENT:" : "DESCRIPTION:", column);
    OutputStringRfc2445(output, text, column, true);
    OutputStringRfc2445(output, "\n", column);
    if (text.empty() || sourceType != kBodyTypeHtml || Support().GetConfigFlag(kConfigNoAltDescription))
        return S_OK;
    std::string html;
    std::string htmlCharset = "utf-8";
    if (!HtmlText(html, htmlCharset, platform::kCodePageUtf8) || html.empty())
        return S_OK;
    if (htmlCharset != "utf-8") {
        // PR_HTML as stored, in the code page its charset names.
        PropValues values;
        const ULONG tags[] = {PR_INTERNET_CPID};
        values.Read(Message(), tags);
        std::string converted;
        if (const std::optional<LONG> cpid = values.Long(PR_INTERNET_CPID);
            cpid && SUCCEEDED(ConvertCodePage(html, static_cast<unsigned>(*cpid), platform::kCodePageUtf8, converted)))
            html = std::move(converted);
    }
    OutputStringRfc2445(output, "X-ALT-DESC;FMTTYPE=text/html:", column);
    OutputStringRfc2445(output, html, column, true);
    return OutputStringRfc2445(output, "\n", column);
}

// Each category is one value of the list: its own commas are escaped, the separators are not.
HRESULT CCalendar::SaveCategories(MimeOutput& output, unsigned& column)
{
    MapiBuffer<SPropValue> value;
    if (FAILED(NamedProps().GetProp(kNameKeywords, PT_MV_UNICODE, value)))
        return S_OK;
    bool first = true;
    for (ULONG i = 0; i < value->Value.MVszW.cValues; ++i) {
        const std::u16string_view category(value->Value.MVszW.lppszW[i] ? value->Value.MVszW.lppszW[i] : u"");
        if (category.empty())
            continue;
        OutputStringRfc2445(output, first ? "CATEGORIES:" : ",", column);
        OutputStringRfc2445W(output, category, column, true);
        first = false;
    }
    return first ? S_OK : OutputStringRfc2445(output, "\n", column);
}

HRESULT CCalendar::SaveClass(MimeOutput& output, unsigned& column)
{
    std::optional<bool> isPrivate = NamedBoolean(kLidPrivate);
    if (!isPrivate && !IsExceptionItem()) {
        PropValues values;
        const ULONG tags[] = {PR_SENSITIVITY};
        values.Read(Message(), tags);
        if (const std::optional<LONG> sensitivity = values.Long(PR_SENSITIVITY))
            isPrivate = *sensitivity == kSensitivityPrivate;
    }
    if (!isPrivate)
        return S_OK;
    return OutputStringRfc2445(output, *isPrivate ? "CLASS:PRIVATE\n" : "CLASS:PUBLIC\n", column);
}

HRESULT CCalendar::SaveDtStamp(MimeOutput& output, unsigned& column)
{
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr)) + DaysFromCivil(1970, 1, 1) * kSecondsPerDay;
    return OutputStringRfc2445(output, "DTSTAMP:" + FormatCivil(CivilFromSeconds(now), true) + "Z\n", column);
}

HRESULT CCalendar::GetSubject(std::string& subject)
{
    if (ClassIndex() == kRowAppointment || ClassIndex() == kRowTask)
        return CMMMessage::GetSubject(subject);
    PropValues values;
    const ULONG tags[] = {PR_SUBJECT_PREFIX_W, PR_CONVERSATION_TOPIC_W};
    values.Read(Message(), tags);
    const std::optional<std::u16string_view> prefix = values.Unicode(PR_SUBJECT_PREFIX_W);
    if (!prefix || prefix->empty())
        return CMMMessage::GetSubject(subject);
    subject = Text().Unstructured(std::u16string(*prefix) + std::u16string(values.Unicode(PR_CONVERSATION_TOPIC_W).value_or(u"")));
    return S_OK;
}

HRESULT CCalendar::GetMsgEncoding(unsigned& codePage)
{
    codePage = platform::kCodePageUtf8;
    return S_OK;
}

HRESULT CCalendar::GetBodyType(unsigned& bodyType)
{
    bodyType = kBodyTypeCustom;
    return S_OK;
}

bool CCalendar::UseTimeZone4Save()
{
    return true;
}

HRESULT CCalendar::OutputStringRfc2445(MimeOutput& output, std::string_view text, unsigned& column, bool escape)
{
    const HRESULT hr = FoldedOutput(output, text, column, escape ? kFoldEscape : 0);
    TraceFailure(__LINE__, "FoldedOutput", hr);
    return hr;
}

HRESULT CCalendar::OutputStringRfc2445W(MimeOutput& output, std::u16string_view text, unsigned& column, bool escape)
{
    return OutputStringRfc2445(output, WideToUtf8(text), column, escape);
}

HRESULT CCalendar::SaveCustomTags(MimeOutput& output, unsigned& column, LONG level)
{
    return NamedProps().SaveCustomTags(output, column, level);
}

HRESULT CCalendar::SaveAlarmWhenProp(MimeOutput& output, unsigned& column)
{
    const std::optional<std::uint64_t> when = NamedTime(kLidReminderSignalTime);
    if (!when)
        return S_OK;
    OutputStringRfc2445(output, "X-MAPI-WHEN:", column);
    OutputFileTimeRfc2445(output, *when, column, true, true, true);
    return OutputStringRfc2445(output, "\n", column);
}

std::string CCalendar::NameParameter(std::u16string_view displayName)
{
    if (displayName.size() >= 3 && displayName.front() == u'\'' && displayName.back() == u'\'' &&
        displayName.substr(1, displayName.size() - 2).find_first_of(u"'\"") == std::u16string_view::npos)
        displayName = displayName.substr(1, displayName.size() - 2);
    if (displayName.empty() || displayName.find(u'"') != std::u16string_view::npos)
        return {};
    return ";CN=\"" + WithoutControls(WideToUtf8(displayName)) + "\"";
}

std::optional<bool> CCalendar::NamedBoolean(ULONG lid)
{
    MapiBuffer<SPropValue> value;
    if (FAILED(NamedProps().GetProp(NamedKey(lid, PT_BOOLEAN), value)))
        return std::nullopt;
    return value->Value.b != 0;
}

std::optional<LONG> CCalendar::NamedLong(ULONG lid)
{
    MapiBuffer<SPropValue> value;
    if (FAILED(NamedProps().GetProp(NamedKey(lid, PT_LONG), value)))
        return std::nullopt;
    return value->Value.l;
}

std::optional<std::uint64_t> CCalendar::NamedTime(ULONG lid)
{
    MapiBuffer<SPropValue> value;
    if (FAILED(NamedProps().GetProp(NamedKey(lid, PT_SYSTIME), value)))
        return std::nullopt;
    return (static_cast<std::uint64_t>(value->Value.ft.dwHighDateTime) << 32) | value->Value.ft.dwLowDateTime;
}

std::optional<std::string> CCalendar::NamedBinary(ULONG lid)
{
    ULONG tag = 0;
    std::string data;
    if (FAILED(NamedProps().GetOneProp(NamedKey(lid, PT_BINARY), tag)) || FAILED(ReadPropertyStream(Message(), tag, data)))
        return std::nullopt;
    return data;
}

std::optional<CCalendar::StableKey> CCalendar::ItemStableKey()
{
    PropValues values;
    const ULONG tags[] = {PR_SEARCH_KEY, PR_ENTRYID, PR_CREATION_TIME};
    values.Read(Message(), tags);
    std::optional<std::span<const BYTE>> key = values.Binary(PR_SEARCH_KEY);
    if (!key)
        key = values.Binary(PR_ENTRYID);
    if (!key)
        return std::nullopt;
    return StableKey{{reinterpret_cast<const char*>(key->data()), key->size()}, values.Time(PR_CREATION_TIME).value_or(0)};
}

std::optional<std::u16string> CCalendar::NamedUnicode(ULONG lid)
{
    MapiBuffer<SPropValue> value;
    if (FAILED(NamedProps().GetProp(NamedKey(lid, PT_UNICODE), value)))
        return std::nullopt;
    const std::optional<std::u16string_view> text = UnicodeValue(value.get());
    return text ? std::optional<std::u16string>(*text) : std::nullopt;
}

} // namespace mmconv
