// CAppointmentMsg: ORGANIZER and ATTENDEE lines of appointments, requests, cancellations and
// responses.
#include "mmconv/calendar/AppointmentMsg.h"

#include <mapicode.h>
#include <mapitags.h>
#include <mapiutil.h>

#include "mmconv/calendar/ContentText.h"
#include "mmconv/encoding/Utf8.h"
#include "mmconv/message/AsciiCase.h"
#include "mmconv/message/ConfigProp.h"
#include "mmconv/message/MapiProps.h"

namespace mmconv {
namespace {

constexpr ULONG kLidStateFlags = 0x8217;
constexpr ULONG kLidResponseStatus = 0x8218;
constexpr ULONG kLidNotAllowPropose = 0x825A;
constexpr LONG kStateReceivedMeeting = 3;
constexpr ULONG kRecipientOrganizer = 0x0002;
constexpr LONG kRecipientResource = 3;
constexpr ULONG kSentRepresentingSmtp = 0x5D02001F;  // PR_SENT_REPRESENTING_SMTP_ADDRESS_W
constexpr ULONG kSenderSmtp = 0x5D01001F;            // PR_SENDER_SMTP_ADDRESS_W
constexpr ULONG kConfigOwnAddress = 0x3003001E;

constexpr const char* kTrackWords[] = {"NEEDS-ACTION", "", "TENTATIVE", "ACCEPTED", "DECLINED", "COMPLETED", "IN-PROGRESS"};
constexpr const char* kRoleWords[] = {"", "REQ-PARTICIPANT", "OPT-PARTICIPANT", "NON-PARTICIPANT"};

constexpr ULONG kRecipientColumns[] = {PR_ADDRTYPE_W, PR_RECIPIENT_FLAGS, PR_DISPLAY_NAME_W, PR_EMAIL_ADDRESS_W,
    PR_RECIPIENT_TRACKSTATUS, PR_RECIPIENT_TYPE, PR_SMTP_ADDRESS_W};

struct Row {
    std::u16string_view addressType;
    std::u16string_view name;
    std::u16string_view address;
    std::optional<LONG> flags;
    std::optional<LONG> trackStatus;
    std::optional<LONG> type;
};

std::optional<LONG> LongOf(const SRow& row, ULONG tag)
{
    const SPropValue* value = FindValue(row.lpProps, row.cValues, tag);
    return value != nullptr ? std::optional<LONG>(value->Value.l) : std::nullopt;
}

// A recipient's SMTP address: its e-mail address when its type is SMTP, else its SMTP address.
Row RowOf(const SRow& row)
{
    Row read;
    read.addressType = UnicodeValue(FindValue(row.lpProps, row.cValues, PR_ADDRTYPE_W)).value_or(u"");
    read.name = UnicodeValue(FindValue(row.lpProps, row.cValues, PR_DISPLAY_NAME_W)).value_or(u"");
    const ULONG addressTag = EqualIgnoringAsciiCase(read.addressType, u"SMTP") ? PR_EMAIL_ADDRESS_W : PR_SMTP_ADDRESS_W;
    read.address = UnicodeValue(FindValue(row.lpProps, row.cValues, addressTag)).value_or(u"");
    read.flags = LongOf(row, PR_RECIPIENT_FLAGS);
    read.trackStatus = LongOf(row, PR_RECIPIENT_TRACKSTATUS);
    read.type = LongOf(row, PR_RECIPIENT_TYPE);
    return read;
}

HRESULT ReadRecipients(IMessage* message, MapiRows& rows)
{
    if (message == nullptr)
        return E_INVALIDARG;
    MapiPtr<IMAPITable> table;
    if (HRESULT hr = message->GetRecipientTable(MAPI_UNICODE, table.put()); FAILED(hr))
        return hr;
    TagList columns(kRecipientColumns);
    return HrQueryAllRows(table.get(), columns.get(), nullptr, nullptr, 0, rows.put());
}

// The SMTP address of the sender side: the SMTP property, else the e-mail address when its type is
// SMTP (an Exchange address is no mail address).
std::u16string SenderAddress(IMessage* message)
{
    PropValues values;
    const ULONG tags[] = {kSentRepresentingSmtp, PR_SENT_REPRESENTING_ADDRTYPE_W, PR_SENT_REPRESENTING_EMAIL_ADDRESS_W,
        kSenderSmtp, PR_SENDER_ADDRTYPE_W, PR_SENDER_EMAIL_ADDRESS_W};
    values.Read(message, tags);
    if (auto smtp = values.Unicode(kSentRepresentingSmtp); smtp && !smtp->empty())
        return std::u16string(*smtp);
    if (EqualIgnoringAsciiCase(values.Unicode(PR_SENT_REPRESENTING_ADDRTYPE_W).value_or(u""), u"SMTP"))
        if (auto address = values.Unicode(PR_SENT_REPRESENTING_EMAIL_ADDRESS_W); address && !address->empty())
            return std::u16string(*address);
    if (auto smtp = values.Unicode(kSenderSmtp); smtp && !smtp->empty())
        return std::u16string(*smtp);
    if (EqualIgnoringAsciiCase(values.Unicode(PR_SENDER_ADDRTYPE_W).value_or(u""), u"SMTP"))
        if (auto address = values.Unicode(PR_SENDER_EMAIL_ADDRESS_W); address && !address->empty())
            return std::u16string(*address);
    return {};
}

std::u16string SenderName(IMessage* message)
{
    PropValues values;
    const ULONG tags[] = {PR_SENT_REPRESENTING_NAME_W, PR_SENDER_NAME_W};
    values.Read(message, tags);
    if (auto name = values.Unicode(PR_SENT_REPRESENTING_NAME_W))
        return std::u16string(*name);
    return std::u16string(values.Unicode(PR_SENDER_NAME_W).value_or(u""));
}

} // namespace

HRESULT CAppointmentMsg::SaveMeetingParticipators(MimeOutput& output, unsigned& column)
{
    std::size_t kind = 0;
    if (HRESULT hr = GetCalendarIPMMessageClass(kind, true); FAILED(hr))
        return hr;
    if (kind >= kKindResponse)
        return SaveResponseParticipants(output, column, kind);
    return SaveInvitationParticipants(output, column, kind);
}

// A response: the organizer among its recipients, and the responder as the attendee. The first
// organizer only: a response names one.
HRESULT CAppointmentMsg::SaveResponseParticipants(MimeOutput& output, unsigned& column, std::size_t kind)
{
    MapiRows rows;
    if (HRESULT hr = ReadRecipients(Message(), rows); FAILED(hr))
        return hr;
    for (ULONG i = 0; i < rows.size(); ++i) {
        const Row row = RowOf(rows->aRow[i]);
        if (row.address.empty())
            continue;
        OutputStringRfc2445(output, "ORGANIZER" + NameParameter(row.name) + ":MAILTO:", column);
        OutputStringRfc2445W(output, row.address, column, true);
        OutputStringRfc2445(output, "\n", column);
        break;
    }
    const std::u16string responder = SenderAddress(Message());
    if (kind < kKindPositiveResponse || responder.empty())
        return S_OK;
    static constexpr const char* kAnswers[] = {"ACCEPTED", "TENTATIVE", "DECLINED"};
    OutputStringRfc2445(output, std::string("ATTENDEE;PARTSTAT=") + kAnswers[kind - kKindPositiveResponse] + ":MAILTO:", column);
    OutputStringRfc2445W(output, responder, column, true);
    return OutputStringRfc2445(output, "\n", column);
}

std::string CAppointmentMsg::OwnAddress()
{
    std::string address;
    if (SUCCEEDED(GetAddressString(AddressKind::ReceivedFor, address, false)) && !address.empty())
        return address;
    for (ULONG tag : {kConfigOwnAddress, kConfigMailboxAddress}) {
        if (std::optional<std::string> configured = Support().GetConfigString(tag); configured && !configured->empty())
            return *configured;
    }
    return {};
}

HRESULT CAppointmentMsg::SaveInvitationParticipants(MimeOutput& output, unsigned& column, std::size_t kind)
{
    PropValues values;
    const ULONG tags[] = {PR_RESPONSE_REQUESTED, PR_REPLY_REQUESTED};
    values.Read(Message(), tags);
    std::optional<bool> rsvp = values.Boolean(PR_RESPONSE_REQUESTED);
    if (!rsvp)
        rsvp = values.Boolean(PR_REPLY_REQUESTED);
    const bool noProposals = NamedBoolean(kLidNotAllowPropose).value_or(false);
    const std::string own = kind == kKindAppointment && NamedLong(kLidStateFlags) == kStateReceivedMeeting ? OwnAddress() : "";
    const std::optional<LONG> responseStatus = NamedLong(kLidResponseStatus);

    MapiRows rows;
    HRESULT hr = ReadRecipients(Message(), rows);
    if (SUCCEEDED(hr) && rows.size() == 0 && IsExceptionItem() && CalendarContext() != nullptr)
        hr = ReadRecipients(CalendarContext(), rows);
    bool organizer = false;
    // The rows' addresses are written as stored, unescaped, without what would break the line.
    for (ULONG i = 0; SUCCEEDED(hr) && i < rows.size(); ++i) {
        const Row row = RowOf(rows->aRow[i]);
        if (row.addressType.empty() || row.address.empty())
            continue;
        if ((static_cast<ULONG>(row.flags.value_or(0)) & kRecipientOrganizer) != 0) {
            if (organizer)
                continue;
            organizer = true;
            OutputStringRfc2445(output, "ORGANIZER" + NameParameter(row.name) + ":MAILTO:", column);
            OutputStringRfc2445(output, WithoutControls(WideToUtf8(row.address)), column);
            OutputStringRfc2445(output, "\n", column);
            continue;
        }
        std::string line = "ATTENDEE;";
        if (row.type == kRecipientResource)
            line += "CUTYPE=RESOURCE;";
        if (row.type && *row.type >= 1 && *row.type <= 3)
            line += std::string("ROLE=") + kRoleWords[*row.type] + ";";
        const bool ownRow = !own.empty() && EqualIgnoringAsciiCase(WideToUtf8(row.address), own);
        if (ownRow) {
            static constexpr std::pair<LONG, const char*> kOwnAnswers[] = {{5, "NEEDS-ACTION"}, {2, "TENTATIVE"}, {3, "ACCEPTED"}};
            for (const auto& [status, word] : kOwnAnswers) {
                if (responseStatus == status)
                    line += std::string("PARTSTAT=") + word + ";";
            }
        } else if (row.trackStatus && *row.trackStatus >= 0 && *row.trackStatus <= 6 && *kTrackWords[*row.trackStatus] != '\0') {
            line += std::string("PARTSTAT=") + kTrackWords[*row.trackStatus] + ";";
        }
        line += rsvp.value_or(false) ? (noProposals ? "RSVP=TRUE;X-MAPI-DTP=TRUE" : "RSVP=TRUE") : "RSVP=FALSE";
        OutputStringRfc2445(output, line + NameParameter(row.name) + ":MAILTO:", column);
        OutputStringRfc2445(output, WithoutControls(WideToUtf8(row.address)), column);
        OutputStringRfc2445(output, "\n", column);
    }
    if (!organizer)
        SaveSenderOrganizer(output, column);
    return hr;
}

HRESULT CAppointmentMsg::SaveSenderOrganizer(MimeOutput& output, unsigned& column)
{
    IMessage* source = IsExceptionItem() && CalendarContext() != nullptr ? CalendarContext() : Message();
    const std::u16string address = SenderAddress(source);
    if (address.empty())
        return S_OK;
    OutputStringRfc2445(output, "ORGANIZER" + NameParameter(SenderName(source)) + ":MAILTO:", column);
    OutputStringRfc2445W(output, address, column, true);
    return OutputStringRfc2445(output, "\n", column);
}

} // namespace mmconv
