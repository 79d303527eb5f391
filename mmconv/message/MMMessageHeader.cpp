// CMMMessage: the header block in its fixed order and the value builders behind it.
#include "mmconv/message/MMMessage.h"

#include <mapicode.h>
#include <mapitags.h>

#include <ctime>

#include "mmconv/encoding/ConversionTrace.h"
#include "mmconv/encoding/NeededEncoding.h"
#include "mmconv/encoding/Rfc1522.h"
#include "mmconv/encoding/Vocabulary.h"
#include "mmconv/message/AsciiCase.h"
#include "mmconv/message/ConfigProp.h"
#include "mmconv/message/LibraryState.h"
#include "mmconv/message/MapiProps.h"
#include "mmconv/message/MessageId.h"
#include "mmconv/message/RfcDate.h"
#include "mmconv/message/TraceAddress.h"

namespace mmconv {
namespace {

constexpr ULONG kOrganization = 0x1037001F;
constexpr ULONG kAuthorSmtpAddress = 0x5D02001E;  // PR_SENT_REPRESENTING_SMTP_ADDRESS_A
constexpr ULONG kAuthorEmailAddress = 0x0065001E; // PR_SENT_REPRESENTING_EMAIL_ADDRESS_A

// What the header reads besides the value builders' own properties.
constexpr ULONG kHeaderTags[] = {PR_CLIENT_SUBMIT_TIME, PR_MESSAGE_DELIVERY_TIME, PR_CREATION_TIME,
    PR_LAST_MODIFICATION_TIME, kOrganization, PR_INTERNET_MESSAGE_ID_A, PR_REPORT_TAG, PR_IN_REPLY_TO_ID_A,
    PR_CONVERSATION_TOPIC_W, PR_PRIORITY, PR_IMPORTANCE, PR_SENSITIVITY, PR_EXPIRY_TIME, PR_CONVERSATION_INDEX,
    PR_READ_RECEIPT_REQUESTED, PR_REPLY_TIME, PR_FLAG_COMPLETE_TIME, PR_MESSAGE_CLASS_W, PR_MESSAGE_FLAGS,
    kAuthorSmtpAddress, kAuthorEmailAddress, PR_SENDER_EMAIL_ADDRESS_A};

// When a message was never sent it has no submit time; the first of these stands in, so that the
// message still has its required Date (and without any of them, the time of the conversion).
constexpr ULONG kDateTags[] = {PR_CLIENT_SUBMIT_TIME, PR_MESSAGE_DELIVERY_TIME, PR_CREATION_TIME,
    PR_LAST_MODIFICATION_TIME};

bool IsPrintableAscii(std::string_view text)
{
    for (unsigned char c : text) {
        if (c < 0x20 || c >= 0x7F)
            return false;
    }
    return true;
}

std::string_view Word(Vocab word)
{
    return VocabularyWord(word);
}

std::optional<LONG> ReadLong(IMessage* message, ULONG tag)
{
    PropValues values;
    const ULONG tags[] = {tag};
    values.Read(message, tags);
    return values.Long(tag);
}

void WriteIfAny(MimeOutput& output, Vocab name, const std::string& value)
{
    if (!value.empty())
        output.WriteHeader(Word(name), value);
}

} // namespace

HRESULT CMMMessage::SaveHeader(MimeOutput& output, bool top)
{
    TraceConversion("CMMMessage(%#lx)::SaveHeader\n", TraceAddress(this));
    return WriteHeaders(output, top);
}

HRESULT CMMMessage::WriteHeaders(MimeOutput& output, bool top)
{
    PropValues props;
    props.Read(message_.get(), kHeaderTags);
    HeaderText text = Text();
    std::string carried;
    std::string value;

    namedProps_.SaveUnknownHeaders(output, carried, [&](std::u16string_view line) { return text.Unstructured(line); });

    GetContentClass(value);
    WriteIfAny(output, Vocab::ContentClass, value);

    const std::optional<std::string_view> author = props.Ansi(kAuthorSmtpAddress) ? props.Ansi(kAuthorSmtpAddress)
                                                                                   : props.Ansi(kAuthorEmailAddress);
    const std::optional<std::string_view> sender = props.Ansi(PR_SENDER_EMAIL_ADDRESS_A);
    if (author && sender && !EqualIgnoringAsciiCase(*author, *sender) && !support_.GetConfigFlag(kConfigNoSenderHeader) &&
        SUCCEEDED(GetAddressString(AddressKind::Sender, value, true)))
        WriteIfAny(output, Vocab::Sender, value);

    if (SUCCEEDED(GetSubject(value)))
        WriteIfAny(output, Vocab::Subject, value);
    output.WriteHeader(Word(Vocab::Date), MessageDate());
    if (std::optional<std::u16string_view> organization = props.Unicode(kOrganization))
        WriteIfAny(output, Vocab::Organization, text.Unstructured(*organization));
    std::string categories;
    if (SUCCEEDED(GetMAPICategories(value, categories))) {
        WriteIfAny(output, Vocab::Keywords, value);
        WriteIfAny(output, Vocab::XCategory, categories);
    }
    if (SUCCEEDED(GetMessageID(value)))
        WriteIfAny(output, Vocab::MessageId, value);
    if (std::optional<std::string_view> inReplyTo = props.Ansi(PR_IN_REPLY_TO_ID_A);
        inReplyTo && IsPrintableAscii(*inReplyTo))
        WriteIfAny(output, Vocab::InReplyTo, std::string(*inReplyTo));
    if (top)
        output.WriteHeader(Word(Vocab::MimeVersion), "1.0");
    if (std::optional<std::u16string_view> topic = props.Unicode(PR_CONVERSATION_TOPIC_W))
        WriteIfAny(output, Vocab::ThreadTopic, text.Unstructured(*topic));
    if (SUCCEEDED(GetPriority(value)))
        WriteIfAny(output, Vocab::Priority, value);
    if (SUCCEEDED(GetImportance(value, true))) {
        WriteIfAny(output, Vocab::Importance, value);
        WriteIfAny(output, Vocab::XMsMailPriority, value);
    }
    if (SUCCEEDED(GetImportance(value, false)))
        WriteIfAny(output, Vocab::XPriority, value);
    if (SUCCEEDED(GetSensitivity(value)))
        WriteIfAny(output, Vocab::Sensitivity, value);
    if (SUCCEEDED(GetDate(PR_EXPIRY_TIME, value)))
        WriteIfAny(output, Vocab::ExpiryDate, value);
    if (std::optional<std::span<const BYTE>> index = props.Binary(PR_CONVERSATION_INDEX);
        index && SUCCEEDED(Binary2Rfc1522(*index, true, value)))
        WriteIfAny(output, Vocab::ThreadIndex, value);

    if (SUCCEEDED(GetAddressString(AddressKind::Author, value, true)))
        WriteIfAny(output, Vocab::From, value);
    else if (std::string mailbox = MailboxOwnerAddress(); !mailbox.empty())
        output.WriteHeader(Word(Vocab::From), mailbox);
    if (SUCCEEDED(GetRecipients(kRecipientTo, value)))
        WriteIfAny(output, Vocab::To, value);
    if (SUCCEEDED(GetRecipients(kRecipientCc, value)))
        WriteIfAny(output, Vocab::Cc, value);
    if ((flags_ & kFlagExport) != 0 && SUCCEEDED(GetRecipients(kRecipientBcc, value)))
        WriteIfAny(output, Vocab::Bcc, value);
    if (SUCCEEDED(GetReplyToRecips(value, author.value_or(std::string_view()))))
        WriteIfAny(output, Vocab::ReplyTo, value);
    if (props.Boolean(PR_READ_RECEIPT_REQUESTED).value_or(false) &&
        SUCCEEDED(GetAddressString(AddressKind::Author, value, true)))
        WriteIfAny(output, Vocab::DispositionNotificationTo, value);
    MapiBuffer<SPropValue> flag;
    if (SUCCEEDED(namedProps_.GetProp(NamedKey(kLidFlagRequest, PT_UNICODE), flag)))
        if (std::optional<std::u16string_view> request = UnicodeValue(flag.get()))
            WriteIfAny(output, Vocab::XMessageFlag, text.Unstructured(*request));
    if (SUCCEEDED(GetDate(PR_REPLY_TIME, value)))
        WriteIfAny(output, Vocab::ReplyBy, value);
    if (SUCCEEDED(GetDate(PR_FLAG_COMPLETE_TIME, value)))
        WriteIfAny(output, Vocab::XMessageCompleted, value);
    if (std::optional<std::u16string_view> messageClass = props.Unicode(PR_MESSAGE_CLASS_W)) {
        const std::string ascii(messageClass->begin(), messageClass->end());
        if (!EqualIgnoringAsciiCase(ascii, Word(Vocab::ClassNote)))
            WriteIfAny(output, Vocab::XMapiMessageClass, text.Unstructured(*messageClass));
    }
    if ((props.Long(PR_MESSAGE_FLAGS).value_or(0) & MSGFLAG_ASSOCIATED) != 0)
        output.WriteHeader(Word(Vocab::XMapiAssociated), "yes");
    output.WriteHeader(Word(Vocab::XMailer), MailerValue());
    return output.Write(carried);
}

std::string CMMMessage::MessageDate()
{
    std::string date;
    for (ULONG tag : kDateTags) {
        if (SUCCEEDED(GetDate(tag, date)) && !date.empty())
            return date;
    }
    TraceConversion("CMMMessage(%#lx)::SaveHeader - the message has no time of its own, dated now\n",
        TraceAddress(this));
    const std::uint64_t now = static_cast<std::uint64_t>(std::time(nullptr)) * 10000000u + 116444736000000000u;
    return FiletimeToRfc822DateTime(now, CurrentTimeZoneBias());
}

HRESULT CMMMessage::GetDate(ULONG tag, std::string& date)
{
    date.clear();
    PropValues values;
    const ULONG tags[] = {tag};
    if (HRESULT hr = values.Read(message_.get(), tags); FAILED(hr))
        return hr;
    const std::optional<std::uint64_t> time = values.Time(tag);
    if (!time)
        return MAPI_E_NOT_FOUND;
    date = FiletimeToRfc822DateTime(*time, CurrentTimeZoneBias());
    return S_OK;
}

HRESULT CMMMessage::GetMessageID(std::string& id)
{
    id.clear();
    PropValues values;
    const ULONG tags[] = {PR_INTERNET_MESSAGE_ID_A, PR_REPORT_TAG};
    if (HRESULT hr = values.Read(message_.get(), tags); FAILED(hr))
        return hr;
    std::optional<std::string> built = BuildMessageId(values.Ansi(PR_INTERNET_MESSAGE_ID_A), values.Binary(PR_REPORT_TAG));
    if (!built)
        return MAPI_E_NOT_FOUND;
    id = std::move(*built);
    return S_OK;
}

HRESULT CMMMessage::GetPriority(std::string& priority)
{
    priority.clear();
    const std::optional<LONG> value = ReadLong(message_.get(), PR_PRIORITY);
    if (!value || *value < -1 || *value > 1)
        return MAPI_E_NOT_FOUND;
    static constexpr Vocab kWords[] = {Vocab::NonUrgent, Vocab::NormalPriority, Vocab::Urgent};
    priority = Word(kWords[*value + 1]);
    return S_OK;
}

HRESULT CMMMessage::GetImportance(std::string& importance, bool text)
{
    importance.clear();
    const std::optional<LONG> value = ReadLong(message_.get(), PR_IMPORTANCE);
    if (!value || *value < 0 || *value > 2)
        return MAPI_E_NOT_FOUND;
    static constexpr Vocab kWords[] = {Vocab::Low, Vocab::NormalImportance, Vocab::High};
    importance = text ? std::string(Word(kWords[*value])) : std::to_string(5 - 2 * *value);
    return S_OK;
}

HRESULT CMMMessage::GetSensitivity(std::string& sensitivity)
{
    sensitivity.clear();
    const std::optional<LONG> value = ReadLong(message_.get(), PR_SENSITIVITY);
    if (!value || *value < 0 || *value > 3)
        return MAPI_E_NOT_FOUND;
    static constexpr Vocab kWords[] = {Vocab::NormalSensitivity, Vocab::Personal, Vocab::Private,
        Vocab::CompanyConfidential};
    sensitivity = Word(kWords[*value]);
    return S_OK;
}

HRESULT CMMMessage::GetMAPICategories(std::string& keywords, std::string& categories)
{
    keywords.clear();
    categories.clear();
    MapiBuffer<SPropValue> value;
    if (HRESULT hr = namedProps_.GetProp(kNameKeywords, PT_MV_UNICODE, value); FAILED(hr))
        return hr;
    const HeaderText text = Text();
    std::u16string joined;
    for (ULONG i = 0; i < value->Value.MVszW.cValues; ++i) {
        const std::u16string_view category(value->Value.MVszW.lppszW[i] ? value->Value.MVszW.lppszW[i] : u"");
        if (category.empty())
            continue;
        if (!joined.empty()) {
            joined += u", ";
            keywords += ", ";
        }
        joined += category;
        keywords += text.Keyword(category);
    }
    categories = text.Unstructured(joined);
    return S_OK;
}

} // namespace mmconv
