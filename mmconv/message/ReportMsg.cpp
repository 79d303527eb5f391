// CReportMsg: the report kinds and the multipart/report entity.
#include "mmconv/message/ReportMsg.h"

#include <mapicode.h>
#include <mapitags.h>
#include <mapiutil.h>

#include "mmconv/encoding/CodePageConversion.h"
#include "mmconv/encoding/ConversionTrace.h"
#include "mmconv/encoding/OutputEncodedData.h"
#include "mmconv/encoding/Utf8.h"
#include "mmconv/encoding/Vocabulary.h"
#include "mmconv/message/AddressForm.h"
#include "mmconv/message/AsciiCase.h"
#include "mmconv/message/Boundary.h"
#include "mmconv/message/MapiProps.h"
#include "mmconv/message/MimeParameter.h"
#include "mmconv/message/RfcDate.h"
#include "mmconv/message/TraceAddress.h"
#include "platform/locale/CodePages.h"

namespace mmconv {
namespace {

constexpr ULONG kConfigHost = 0x6608001E;
constexpr ULONG kDeliverTime = 0x00100040;             // PR_DELIVER_TIME
constexpr ULONG kReportDisposition = 0x0080001E;       // PR_REPORT_DISPOSITION_A
constexpr ULONG kReportDispositionMode = 0x0081001E;   // PR_REPORT_DISPOSITION_MODE_A
constexpr ULONG kReceivedByAddress = 0x0076001E;       // PR_RECEIVED_BY_EMAIL_ADDRESS_A
constexpr ULONG kReceivedByAddressType = 0x0075001E;   // PR_RECEIVED_BY_ADDRTYPE_A

constexpr ULONG kRecipientColumns[] = {PR_DISPLAY_NAME_W, PR_ADDRTYPE_W, PR_EMAIL_ADDRESS_W, PR_SMTP_ADDRESS_W,
    PR_SUPPLEMENTARY_INFO_W, kDeliverTime, PR_REPORT_TIME};

struct KindPattern {
    std::string_view pattern;
    ReportKind kind;
};

constexpr KindPattern kKindPatterns[] = {
    {"REPORT.*.IPNRN", ReportKind::Read},
    {"REPORT.*.IPNNRN", ReportKind::NotRead},
    {"REPORT.*.IPNNDR", ReportKind::NotRead},
    {"REPORT.*.DR", ReportKind::Delivered},
    {"REPORT.*.NDR", ReportKind::NotDelivered},
    {"*.RECALL.REPORT.FAILURE", ReportKind::RecallFailure},
};

constexpr std::u16string_view kSentences[] = {u"was read on ", u"was deleted without being read on ",
    u"was delivered to the following recipient(s):", u"did not reach the following recipient(s):"};

// "*" matches any run, "?" one character; letters compare ignoring case.
bool WildcardMatch(std::string_view pattern, std::string_view text)
{
    std::size_t p = 0;
    std::size_t t = 0;
    std::size_t star = std::string_view::npos;
    std::size_t resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || FoldAsciiCase(pattern[p]) == FoldAsciiCase(text[t]))) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::string MessageClassOf(IMessage* message)
{
    PropValues values;
    const ULONG tags[] = {PR_MESSAGE_CLASS_A};
    values.Read(message, tags);
    return std::string(values.Ansi(PR_MESSAGE_CLASS_A).value_or(""));
}

std::string Ascii(std::u16string_view text)
{
    std::string ascii;
    for (char16_t c : text)
        ascii += c < 0x80 ? static_cast<char>(c) : '?';
    return ascii;
}

std::u16string Widen(std::string_view ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

std::uint64_t FileTimeValue(const FILETIME& time)
{
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::u16string Date(std::uint64_t fileTime)
{
    return Widen(FiletimeToRfc822DateTime(fileTime, CurrentTimeZoneBias()));
}

// "type; address" of a reported recipient: rfc822 for an Internet address, else the entry's own
// address type; "LOCAL;<>" without any address.
std::string TypedAddress(std::u16string_view addressType, std::u16string_view address, std::u16string_view smtp)
{
    if (IsAddrSpec(smtp))
        return "rfc822; " + Ascii(smtp);
    if ((addressType.empty() || EqualIgnoringAsciiCase(addressType, u"SMTP")) && IsAddrSpec(address))
        return "rfc822; " + Ascii(address);
    if (!addressType.empty() && !address.empty())
        return Ascii(addressType) + "; " + Ascii(OneLine(address));
    return "LOCAL;<>";
}

std::string PartHeader(const std::string& boundary, std::string contentType, std::string_view transferEncoding)
{
    return "--" + boundary + "\r\nContent-Type: " + contentType + "\r\nContent-Transfer-Encoding: " +
           std::string(transferEncoding) + "\r\n\r\n";
}

// Display names of a "; "-separated list as address-list entries: Internet addresses as they are,
// names as empty groups.
std::string DisplayList(const HeaderText& text, std::u16string_view names)
{
    std::string list;
    while (!names.empty()) {
        const std::size_t end = std::min(names.find(u';'), names.size());
        std::u16string_view name = names.substr(0, end);
        names.remove_prefix(std::min(end + 1, names.size()));
        while (!name.empty() && name.front() == u' ')
            name.remove_prefix(1);
        while (!name.empty() && name.back() == u' ')
            name.remove_suffix(1);
        if (name.empty())
            continue;
        if (!list.empty())
            list += kAddressSeparator;
        list += IsAddrSpec(name) ? Ascii(name) : EmptyGroup(text, OneLine(name));
    }
    return list;
}

} // namespace

ReportKind ReportKindOfClass(std::string_view messageClass)
{
    for (const KindPattern& entry : kKindPatterns) {
        if (WildcardMatch(entry.pattern, messageClass))
            return entry.kind;
    }
    return ReportKind::Other;
}

CReportMsg::CReportMsg(IMessage* message, MMCnvSupport& support, ULONG flags)
    : CTnefMsg(message, support, flags), kind_(ReportKindOfClass(MessageClassOf(message)))
{
}

HRESULT CReportMsg::GetContentClass(std::string& contentClass)
{
    contentClass = kind_ == ReportKind::Read || kind_ == ReportKind::NotRead ? "urn:content-classes:mdn"
                   : IsDeliveryReport()                                        ? "urn:content-classes:dsn"
                                                                               : "urn:content-classes:reportmessage";
    return S_OK;
}

HRESULT CReportMsg::GetAddressString(AddressKind kind, std::string& address, bool encode)
{
    const HRESULT hr = CMMMessage::GetAddressString(kind, address, encode);
    if (SUCCEEDED(hr) || kind != AddressKind::Author)
        return hr;
    const std::optional<std::string> host = Support().GetConfigString(kConfigHost);
    if (!host || host->empty())
        return hr;
    const std::string daemon = "Mailer-Daemon@" + *host;
    if (!IsAddrSpec(Widen(daemon)))
        return hr;
    address = EncodeRecepientName(Text(), u"", daemon, encode);
    return S_OK;
}

HRESULT CReportMsg::GetRecipients(ULONG type, std::string& list)
{
    if (IsDeliveryReport() && type == kRecipientTo && SUCCEEDED(GetAddressString(AddressKind::ReceivedFor, list, true)) &&
        !list.empty())
        return S_OK;
    return CMMMessage::GetRecipients(type, list);
}

HRESULT CReportMsg::SaveContent(MimeOutput& output)
{
    TraceConversion("CReportMsg(%#lx)::SaveContent\n", TraceAddress(this));
    if (kind_ == ReportKind::RecallFailure || kind_ == ReportKind::Other)
        return CTnefMsg::SaveContent(output);
    return SaveReport(output);
}

HRESULT CReportMsg::SaveReport(MimeOutput& output)
{
    const std::string boundary = GenerateBoundary();
    std::string header = "Content-Type: multipart/report";
    AppendParameter(header, "report-type",
        std::string_view(IsDeliveryReport() ? "delivery-status" : "disposition-notification"));
    AppendParameter(header, "boundary", boundary);
    header += "\r\n\r\nThis is a multi-part message in MIME format.\r\n\r\n";
    if (HRESULT hr = output.Write(header); FAILED(hr))
        return hr;
    bool hasAttachments = false;
    CheckAttaches(hasAttachments);
    // The returned original travels whole, also in a non-delivery report: it is what the sender
    // needs to send again. A report holds three parts at most, the third the returned message: when
    // the attachments are anything else (a report received from the Internet keeps its status file
    // beside the original), they travel with the text in the first part, and the third part is the
    // original's header.
    const bool returnedMessageOnly = hasAttachments && OnlyAttachmentIsMessage();
    const bool attachmentsWithText = hasAttachments && !returnedMessageOnly;
    HRESULT hr = attachmentsWithText ? SaveTextWithAttachments(output, boundary) : SaveReportText(output, boundary);
    if (FAILED(hr))
        return hr;
    hr = IsDeliveryReport() ? SaveDeliveryStatus(output, boundary) : SaveDispositionNotification(output, boundary);
    if (FAILED(hr))
        return hr;
    hr = returnedMessageOnly ? SaveAttaches(output, boundary, kAttachOrdinary | kAttachRelated, true)
                             : SaveOriginalHeaders(output, boundary);
    if (FAILED(hr))
        return hr;
    return output.Write("--" + boundary + "--\r\n\r\n");
}

bool CReportMsg::OnlyAttachmentIsMessage()
{
    MapiPtr<IMAPITable> table;
    SizedSPropTagArray(1, columns) = {1, {PR_ATTACH_METHOD}};
    ULONG count = 0;
    MapiRows rows;
    if (FAILED(Message()->GetAttachmentTable(0, table.put())) ||
        FAILED(table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0)) ||
        FAILED(table->GetRowCount(0, &count)) || count != 1 || FAILED(table->QueryRows(1, 0, rows.put())) ||
        rows.size() != 1)
        return false;
    const SPropValue& method = rows->aRow[0].lpProps[0];
    return method.ulPropTag == PR_ATTACH_METHOD && method.Value.l == ATTACH_EMBEDDED_MSG;
}

HRESULT CReportMsg::SaveTextWithAttachments(MimeOutput& output, const std::string& boundary)
{
    const std::string inner = GenerateBoundary();
    std::string header = "--" + boundary + "\r\nContent-Type: multipart/mixed";
    AppendParameter(header, "boundary", inner);
    header += "\r\n\r\n";
    HRESULT hr = output.Write(header);
    if (SUCCEEDED(hr))
        hr = SaveReportText(output, inner);
    if (SUCCEEDED(hr))
        hr = SaveAttaches(output, inner, kAttachOrdinary | kAttachRelated, true);
    if (SUCCEEDED(hr))
        hr = output.Write("--" + inner + "--\r\n\r\n");
    return hr;
}

HRESULT CReportMsg::SaveReportText(MimeOutput& output, const std::string& boundary)
{
    const BodySources& sources = Bodies();
    const std::u16string text = sources.plain && !sources.plain->empty() ? *sources.plain : GeneratedText();
    std::string charset;
    unsigned codePage = platform::kCodePageUtf8;
    std::string encoded;
    bool lossy = true;
    if (SUCCEEDED(GetMsgCharset(charset, codePage)) && codePage != platform::kCodePageUtf8)
        Unicode2Encoding(text, codePage, encoded, &lossy);
    if (lossy) {
        charset = "utf-8";
        encoded = WideToUtf8(text);
    }
    std::string contentType = "text/plain";
    AppendParameter(contentType, "charset", std::string_view(charset));
    output.Write(PartHeader(boundary, contentType, "quoted-printable"));
    MemorySource source(encoded);
    if (HRESULT hr = OutputEncodedData(output, source, static_cast<int>(TransferMode::QuotedPrintable), false); FAILED(hr))
        return hr;
    return output.Write("\r\n\r\n");
}

std::u16string CReportMsg::GeneratedText()
{
    PropValues values;
    const ULONG tags[] = {PR_ORIGINAL_DISPLAY_TO_W, PR_ORIGINAL_DISPLAY_CC_W, PR_ORIGINAL_SUBJECT_W,
        PR_ORIGINAL_SUBMIT_TIME, PR_REPORT_TEXT_W, PR_REPORT_TIME};
    values.Read(Message(), tags);
    std::u16string text = u"\r\n";
    if (auto to = values.Unicode(PR_ORIGINAL_DISPLAY_TO_W))
        text += u"  To: " + std::u16string(*to) + u"\r\n";
    if (auto cc = values.Unicode(PR_ORIGINAL_DISPLAY_CC_W))
        text += u"  Cc: " + std::u16string(*cc) + u"\r\n";
    if (auto subject = values.Unicode(PR_ORIGINAL_SUBJECT_W))
        text += u"  Subject: " + std::u16string(*subject) + u"\r\n";
    if (auto sent = values.Time(PR_ORIGINAL_SUBMIT_TIME))
        text += u"  Sent: " + Date(*sent) + u"\r\n";
    text += u"\r\n";
    const std::optional<std::u16string_view> reportText = values.Unicode(PR_REPORT_TEXT_W);
    text += reportText ? *reportText : kSentences[static_cast<int>(kind_)];
    if (!IsDeliveryReport()) {
        if (!reportText)
            text += values.Time(PR_REPORT_TIME) ? Date(*values.Time(PR_REPORT_TIME)) : u"";
        return text + u"\r\n";
    }
    text += u"\r\n";
    if (FAILED(ReadReportRecipients()))
        return text;
    for (ULONG row = 0; row < reportRecipients_.size(); ++row) {
        const SRow& recipient = reportRecipients_->aRow[row];
        auto textOf = [&](ULONG tag) { return UnicodeValue(FindValue(recipient.lpProps, recipient.cValues, tag)); };
        const SPropValue* delivered = FindValue(recipient.lpProps, recipient.cValues, kDeliverTime);
        if (delivered == nullptr)
            delivered = FindValue(recipient.lpProps, recipient.cValues, PR_REPORT_TIME);
        std::u16string name(textOf(PR_DISPLAY_NAME_W).value_or(u""));
        if (name.empty())
            name = textOf(PR_EMAIL_ADDRESS_W).value_or(u"");
        text += u"\r\n" + name;
        if (delivered != nullptr)
            text += u" on " + Date(FileTimeValue(delivered->Value.ft));
        text += u"\r\n";
        if (auto supplementary = textOf(PR_SUPPLEMENTARY_INFO_W); supplementary && !supplementary->empty())
            text += std::u16string(*supplementary) + u"\r\n";
    }
    return text;
}

HRESULT CReportMsg::ReadReportRecipients()
{
    if (reportRecipients_.get() != nullptr)
        return S_OK;
    MapiPtr<IMAPITable> table;
    if (HRESULT hr = Message()->GetRecipientTable(MAPI_UNICODE, table.put()); FAILED(hr))
        return hr;
    TagList columns(kRecipientColumns);
    return HrQueryAllRows(table.get(), columns.get(), nullptr, nullptr, 0, reportRecipients_.put());
}

HRESULT CReportMsg::SaveDeliveryStatus(MimeOutput& output, const std::string& boundary)
{
    const std::optional<std::string> host = Support().GetConfigString(kConfigHost);
    std::string fields = PartHeader(boundary, "message/delivery-status", "7bit");
    fields += "Reporting-MTA: dns; " + (host && !host->empty() ? *host : std::string("server")) + "\r\n\r\n";
    const HeaderText text = Text();
    if (FAILED(ReadReportRecipients()))
        TraceConversion("CReportMsg(%#lx)::SaveContent - the recipient table cannot be read\n", TraceAddress(this));
    for (ULONG row = 0; row < reportRecipients_.size(); ++row) {
        const SRow& recipient = reportRecipients_->aRow[row];
        auto textOf = [&](ULONG tag) {
            return UnicodeValue(FindValue(recipient.lpProps, recipient.cValues, tag)).value_or(u"");
        };
        fields += "Final-Recipient: " +
                  TypedAddress(textOf(PR_ADDRTYPE_W), textOf(PR_EMAIL_ADDRESS_W), textOf(PR_SMTP_ADDRESS_W)) + "\r\n";
        fields += kind_ == ReportKind::Delivered ? "Action: delivered\r\nStatus: 2.0.0\r\n"
                                                 : "Action: failed\r\nStatus: 5.0.0\r\n";
        if (const std::u16string_view supplementary = textOf(PR_SUPPLEMENTARY_INFO_W); !supplementary.empty())
            fields += "X-Supplementary-Info: " + text.Unstructured(OneLine(supplementary)) + "\r\n";
        if (const std::u16string_view name = textOf(PR_DISPLAY_NAME_W); !name.empty())
            fields += "X-Display-Name: " + text.Unstructured(OneLine(name)) + "\r\n";
        fields += "\r\n";
    }
    return output.Write(fields);
}

std::string CReportMsg::FinalRecipientOfAuthor()
{
    PropValues values;
    const ULONG tags[] = {PR_ORIGINAL_AUTHOR_ENTRYID, kReceivedByAddress, kReceivedByAddressType};
    values.Read(Message(), tags);
    if (const std::optional<std::span<const BYTE>> entryId = values.Binary(PR_ORIGINAL_AUTHOR_ENTRYID)) {
        ULONG objectType = 0;
        MapiPtr<IMAPIProp> author;
        PropValues read;
        const ULONG authorTags[] = {PR_ADDRTYPE_W, PR_EMAIL_ADDRESS_W, PR_SMTP_ADDRESS_W};
        if (SUCCEEDED(Support().OpenEntry(static_cast<ULONG>(entryId->size()),
                reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(entryId->data())), nullptr, 0, &objectType,
                author.put_unknown())) &&
            author && SUCCEEDED(read.Read(author.get(), authorTags)) && read.Unicode(PR_EMAIL_ADDRESS_W))
            return TypedAddress(read.Unicode(PR_ADDRTYPE_W).value_or(u""), *read.Unicode(PR_EMAIL_ADDRESS_W),
                read.Unicode(PR_SMTP_ADDRESS_W).value_or(u""));
    }
    const std::optional<std::string_view> address = values.Ansi(kReceivedByAddress);
    const std::optional<std::string_view> addressType = values.Ansi(kReceivedByAddressType);
    return TypedAddress(Widen(addressType.value_or("")), Widen(address.value_or("")), u"");
}

HRESULT CReportMsg::SaveDispositionNotification(MimeOutput& output, const std::string& boundary)
{
    std::string fields = PartHeader(boundary, "message/disposition-notification", "7bit");
    fields += "Final-Recipient: " + FinalRecipientOfAuthor() + "\r\n";
    if (std::string id; SUCCEEDED(GetMessageID(id)) && !id.empty())
        fields += "Original-Message-Id: " + id + "\r\n";
    PropValues values;
    const ULONG tags[] = {kReportDispositionMode, kReportDisposition};
    values.Read(Message(), tags);
    // A report that says nothing of its disposition reports what its kind is: read, or deleted unread.
    const std::string_view fallback = kind_ == ReportKind::NotRead ? "deleted" : "displayed";
    fields += "Disposition: " +
              std::string(values.Ansi(kReportDispositionMode).value_or("manual-action/MDN-sent-automatically")) + "; " +
              std::string(values.Ansi(kReportDisposition).value_or(fallback)) + "\r\n\r\n";
    return output.Write(fields);
}

HRESULT CReportMsg::SaveOriginalHeaders(MimeOutput& output, const std::string& boundary)
{
    PropValues values;
    const ULONG tags[] = {PR_ORIGINAL_SENDER_NAME_W, PR_ORIGINAL_SENDER_EMAIL_ADDRESS_W, PR_ORIGINAL_DISPLAY_TO_W,
        PR_ORIGINAL_DISPLAY_CC_W, PR_ORIGINAL_SUBJECT_W, PR_ORIGINAL_SUBMIT_TIME};
    values.Read(Message(), tags);
    const HeaderText text = Text();
    std::string fields = PartHeader(boundary, "text/rfc822-headers", "7bit");
    if (auto sender = values.Unicode(PR_ORIGINAL_SENDER_EMAIL_ADDRESS_W); sender && IsAddrSpec(*sender))
        fields += "From: <" + Ascii(*sender) + ">\r\n";
    if (auto to = values.Unicode(PR_ORIGINAL_DISPLAY_TO_W); to && !DisplayList(text, *to).empty())
        fields += "To: " + DisplayList(text, *to) + "\r\n";
    if (auto cc = values.Unicode(PR_ORIGINAL_DISPLAY_CC_W); cc && !DisplayList(text, *cc).empty())
        fields += "Cc: " + DisplayList(text, *cc) + "\r\n";
    fields += "Subject: " + text.Unstructured(values.Unicode(PR_ORIGINAL_SUBJECT_W).value_or(u"")) + "\r\n";
    if (auto sent = values.Time(PR_ORIGINAL_SUBMIT_TIME))
        fields += "Date: " + FiletimeToRfc822DateTime(*sent, CurrentTimeZoneBias()) + "\r\n";
    return output.Write(fields + "\r\n");
}

} // namespace mmconv
