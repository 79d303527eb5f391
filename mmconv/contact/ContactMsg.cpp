// CContactMsg: the contact header fields, the body entity and the card.
#include "mmconv/contact/ContactMsg.h"

#include <algorithm>

#include <mapicode.h>
#include <mapitags.h>
#include <mapiutil.h>

#include "mmconv/body/RtfBodyType.h"
#include "mmconv/contact/ContactPhoto.h"
#include "mmconv/contact/UserCertificate.h"
#include "mmconv/contact/VCardWriter.h"
#include "mmconv/encoding/ConversionTrace.h"
#include "mmconv/encoding/OutputEncodedData.h"
#include "mmconv/encoding/Utf8.h"
#include "mmconv/encoding/Vocabulary.h"
#include "mmconv/message/AddressForm.h"
#include "mmconv/message/MapiProps.h"
#include "mmconv/message/MimeParameter.h"
#include "mmconv/message/TraceAddress.h"
#include "platform/locale/CodePages.h"

namespace mmconv {
namespace {

// Named properties of the contact (PSETID_Address, and PSETID_Common for 0x85xx).
constexpr ULONG kLidFileUnder = 0x8005;
constexpr ULONG kLidHasPicture = 0x8015;
constexpr ULONG kLidHomeAddress = 0x801A;
constexpr ULONG kLidWorkAddress = 0x801B;
constexpr ULONG kLidOtherAddress = 0x801C;
constexpr ULONG kLidYomiFirstName = 0x802C;
constexpr ULONG kLidYomiLastName = 0x802D;
constexpr ULONG kLidYomiCompanyName = 0x802E;
constexpr ULONG kLidWorkAddressStreet = 0x8045;
constexpr ULONG kLidWorkAddressCity = 0x8046;
constexpr ULONG kLidWorkAddressState = 0x8047;
constexpr ULONG kLidWorkAddressPostalCode = 0x8048;
constexpr ULONG kLidWorkAddressCountry = 0x8049;
constexpr ULONG kLidWorkAddressPostOfficeBox = 0x804A;
constexpr ULONG kLidEmail1Address = 0x8083;
constexpr ULONG kLidEmail1OriginalDisplayName = 0x8084;
constexpr ULONG kLidEmail2Address = 0x8093;
constexpr ULONG kLidEmail2OriginalDisplayName = 0x8094;
constexpr ULONG kLidEmail3Address = 0x80A3;
constexpr ULONG kLidEmail3OriginalDisplayName = 0x80A4;
constexpr ULONG kLidFreeBusyLocation = 0x80D8;
constexpr ULONG kLidGlobalId = 0x8519;

constexpr ULONG kEmailLids[] = {kLidEmail1Address, kLidEmail1OriginalDisplayName, kLidEmail2Address,
    kLidEmail2OriginalDisplayName, kLidEmail3Address, kLidEmail3OriginalDisplayName};

struct Telephone {
    ULONG tag;           // the wide form
    const char* label;   // in X-Telnum
    const char* name;    // the card's TEL line
};

constexpr Telephone kTelephones[] = {
    {PR_BUSINESS_TELEPHONE_NUMBER_W, "WORK", "TEL;WORK;VOICE"},
    {PR_BUSINESS2_TELEPHONE_NUMBER_W, "WORK", "TEL;WORK;VOICE"},
    {PR_HOME_TELEPHONE_NUMBER_W, "HOME", "TEL;HOME;VOICE"},
    {PR_HOME2_TELEPHONE_NUMBER_W, "HOME", "TEL;HOME;VOICE"},
    {PR_MOBILE_TELEPHONE_NUMBER_W, "CELL", "TEL;CELL;VOICE"},
    {PR_BUSINESS_FAX_NUMBER_W, "FAX-WORK", "TEL;WORK;FAX"},
    {PR_CAR_TELEPHONE_NUMBER_W, "CAR", "TEL;CAR;VOICE"},
    {PR_OTHER_TELEPHONE_NUMBER_W, "OTHER", "TEL;VOICE"},
    {PR_PAGER_TELEPHONE_NUMBER_W, "PAGER", "TEL;PAGER;VOICE"},
    {PR_HOME_FAX_NUMBER_W, "FAX-HOME", "TEL;HOME;FAX"},
    {PR_ISDN_NUMBER_W, "ISDN", "TEL;ISDN"},
    {PR_PRIMARY_TELEPHONE_NUMBER_W, "PREF", "TEL;PREF"},
    {PR_ASSISTANT_TELEPHONE_NUMBER_W, "AGENT", "TEL;AGENT"},
};

// A component of an address: a plain tag, or a named property when `lid` is set.
struct AddressPart {
    ULONG tag;
    ULONG lid;
};

struct Address {
    const char* name;       // ADR;WORK
    const char* labelName;  // LABEL;WORK
    AddressPart parts[7];   // post office box, extended address, street, city, region, code, country
    ULONG labelLid;
};

constexpr AddressPart kNone = {0, 0};

constexpr Address kAddresses[] = {
    {"ADR;WORK", "LABEL;WORK",
        {{0, kLidWorkAddressPostOfficeBox}, {PR_OFFICE_LOCATION_W, 0}, {0, kLidWorkAddressStreet},
            {0, kLidWorkAddressCity}, {0, kLidWorkAddressState}, {0, kLidWorkAddressPostalCode},
            {0, kLidWorkAddressCountry}},
        kLidWorkAddress},
    {"ADR;HOME", "LABEL;HOME",
        {{PR_HOME_ADDRESS_POST_OFFICE_BOX_W, 0}, kNone, {PR_HOME_ADDRESS_STREET_W, 0}, {PR_HOME_ADDRESS_CITY_W, 0},
            {PR_HOME_ADDRESS_STATE_OR_PROVINCE_W, 0}, {PR_HOME_ADDRESS_POSTAL_CODE_W, 0},
            {PR_HOME_ADDRESS_COUNTRY_W, 0}},
        kLidHomeAddress},
    {"ADR;POSTAL", "LABEL;POSTAL",
        {{PR_OTHER_ADDRESS_POST_OFFICE_BOX_W, 0}, kNone, {PR_OTHER_ADDRESS_STREET_W, 0},
            {PR_OTHER_ADDRESS_CITY_W, 0}, {PR_OTHER_ADDRESS_STATE_OR_PROVINCE_W, 0},
            {PR_OTHER_ADDRESS_POSTAL_CODE_W, 0}, {PR_OTHER_ADDRESS_COUNTRY_W, 0}},
        kLidOtherAddress},
};

// The custom fields, in their order: a plain tag, or a named property when `lid` is set. The names
// keep the MAPI names' "_" (a vCard 2.1 extension name may hold it), as the server reads them.
struct CustomField {
    const char* name;
    ULONG tag;
    ULONG lid;
};

constexpr CustomField kCustomFields[] = {
    {"X-MAPI-FTP_SITE", PR_FTP_SITE_W, 0},
    {"X-MAPI-OL_VERSION", 0, 0x8554},
    {"X-MAPI-TTYTDD_PHONE_NUMBER", PR_TTYTDD_PHONE_NUMBER_W, 0},
    {"X-MAPI-RADIO_TELEPHONE_NUMBER", PR_RADIO_TELEPHONE_NUMBER_W, 0},
    {"X-MAPI-USER_FIELD1", 0, 0x804F},
    {"X-MAPI-USER_FILED2", 0, 0x8050},
    {"X-MAPI-USER_FIELD3", 0, 0x8051},
    {"X-MAPI-USER_FIELD4", 0, 0x8052},
    {"X-MAPI-ASSISTANT", PR_ASSISTANT_W, 0},
    {"X-MAPI-CUSTOMER_ID", PR_CUSTOMER_ID_W, 0},
    {"X-MAPI-PERSONAL_HOME_PAGE", PR_PERSONAL_HOME_PAGE_W, 0},
    {"X-MAPI-GOVERNMENT_ID_NUMBER", PR_GOVERNMENT_ID_NUMBER_W, 0},
    {"X-MAPI-ORGANIZATIONAL_ID_NUMBER", PR_ORGANIZATIONAL_ID_NUMBER_W, 0},
    {"X-MAPI-LOCATION", PR_LOCATION_W, 0},
    {"X-MAPI-CALLBACK_TELEPHONE_NUMBER", PR_CALLBACK_TELEPHONE_NUMBER_W, 0},
    {"X-MAPI-EMAIL1_DISPLAY_NAME", 0, 0x8080},
    {"X-MAPI-EMAIL2_DISPLAY_NAME", 0, 0x8090},
    {"X-MAPI-EMAIL3_DISPLAY_NAME", 0, 0x80A0},
    {"X-MAPI-MILEAGE", 0, 0x8534},
    {"X-MAPI-BILLING_INFO", 0, 0x8535},
    {"X-MAPI-MANAGER_NAME", PR_MANAGER_NAME_W, 0},
    {"X-MAPI-NETWORK_NAME", PR_COMPUTER_NETWORK_NAME_W, 0},
    {"X-MAPI-PREFERRED_BY_NAME", PR_PREFERRED_BY_NAME_W, 0},
    {"X-MAPI-SPOUSE_NAME", PR_SPOUSE_NAME_W, 0},
    {"X-MAPI-COMPANY_MAIN_PHONE_NUMBER", PR_COMPANY_MAIN_PHONE_NUMBER_W, 0},
    {"X-MAPI-FAX3_ADDRESS", 0, 0x80D3},
    {"X-MAPI-PR_FAX3_DISPLAY_NAME", 0, 0x80D4},
    {"X-MAPI-HOBBIES", PR_HOBBIES_W, 0},
    {"X-MAPI-ACCOUNT", PR_ACCOUNT_W, 0},
    {"X-MAPI-PRIMARY_FAX_NUMBER", PR_PRIMARY_FAX_NUMBER_W, 0},
    {"X-MAPI-LANGUAGE", PR_LANGUAGE_W, 0},
    {"X-MAPI-WEBPAGE", 0, 0x802B},
    {"X-MAPI-IM_ADDRESS", 0, 0x8062},
};

// Every plain tag of a text the card may show, sorted: those of the tables above and the rest.
const std::vector<ULONG>& CardTags()
{
    static const std::vector<ULONG> tags = [] {
        std::vector<ULONG> all = {PR_GIVEN_NAME_W, PR_SURNAME_W, PR_MIDDLE_NAME_W, PR_DISPLAY_NAME_PREFIX_W,
            PR_GENERATION_W, PR_DISPLAY_NAME_W, PR_SUBJECT_W, PR_NICKNAME_W, PR_COMPANY_NAME_W, PR_DEPARTMENT_NAME_W,
            PR_TITLE_W, PR_BUSINESS_HOME_PAGE_W, PR_PROFESSION_W, PR_EMAIL_ADDRESS_W, PR_TELEX_NUMBER_W};
        for (const Telephone& telephone : kTelephones)
            all.push_back(telephone.tag);
        for (const Address& address : kAddresses) {
            for (const AddressPart& part : address.parts) {
                if (part.tag != 0)
                    all.push_back(part.tag);
            }
        }
        for (const CustomField& field : kCustomFields) {
            if (field.tag != 0)
                all.push_back(field.tag);
        }
        std::sort(all.begin(), all.end());
        all.erase(std::unique(all.begin(), all.end()), all.end());
        return all;
    }();
    return tags;
}

constexpr char kHex[] = "0123456789ABCDEF";

std::string Hex(std::span<const BYTE> bytes)
{
    std::string text;
    for (BYTE b : bytes) {
        text += kHex[b >> 4];
        text += kHex[b & 0xF];
    }
    return text;
}

bool IsPrintableAscii(std::span<const BYTE> bytes)
{
    for (BYTE b : bytes) {
        if (b < 0x20 || b >= 0x7F)
            return false;
    }
    return !bytes.empty();
}

// A number with only its letters, digits and "+".
std::string DialString(std::u16string_view number)
{
    std::string kept;
    for (char16_t c : number) {
        if ((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'+')
            kept += static_cast<char>(c);
    }
    return kept;
}

std::optional<std::uint64_t> ReadTime(IMessage* message, ULONG tag)
{
    PropValues values;
    const ULONG tags[] = {tag};
    if (FAILED(values.Read(message, tags)))
        return std::nullopt;
    return values.Time(tag);
}

} // namespace

std::optional<std::string> CContactMsg::NamedText(ULONG lid)
{
    MapiBuffer<SPropValue> value;
    if (FAILED(NamedProps().GetProp(NamedKey(lid, PT_UNICODE), value)))
        return std::nullopt;
    const std::optional<std::u16string_view> text = UnicodeValue(value.get());
    if (!text || text->empty())
        return std::nullopt;
    return WideToUtf8(*text);
}

const SPropValue* CContactMsg::CardValue(ULONG tag)
{
    const std::vector<ULONG>& tags = CardTags();
    const auto found = std::lower_bound(tags.begin(), tags.end(), tag);
    if (found == tags.end() || *found != tag)
        return nullptr;
    if (!cardValuesRead_) {
        cardValuesRead_ = true;
        if (FAILED(cardValues_.Read(Message(), tags)))
            return nullptr;
    }
    return cardValues_.At(static_cast<std::size_t>(found - tags.begin()));
}

std::optional<std::string> CContactMsg::PropText(ULONG tag)
{
    const SPropValue* value = CardValue(tag);
    PropValues values;
    if (value == nullptr) {
        const ULONG tags[] = {tag};
        if (FAILED(values.Read(Message(), tags)))
            return std::nullopt;
        value = values.Find(tag);
    }
    const std::optional<std::u16string_view> text = UnicodeValue(value);
    if (!text || text->empty())
        return std::nullopt;
    return WideToUtf8(*text);
}

std::string CContactMsg::UidValue()
{
    MapiBuffer<SPropValue> value;
    if (SUCCEEDED(NamedProps().GetProp(NamedKey(kLidGlobalId, PT_BINARY), value))) {
        // An identifier kept as text is copied; binary data is written in hexadecimal, never raw.
        if (const std::optional<std::span<const BYTE>> bytes = BinaryValue(value.get()); bytes && !bytes->empty())
            return IsPrintableAscii(*bytes) ? std::string(bytes->begin(), bytes->end()) : Hex(*bytes);
    }
    PropValues values;
    const ULONG tags[] = {PR_SEARCH_KEY};
    if (SUCCEEDED(values.Read(Message(), tags))) {
        if (const std::optional<std::span<const BYTE>> key = values.Binary(PR_SEARCH_KEY))
            return Hex(*key);
    }
    return {};
}

std::vector<std::string> CContactMsg::Categories()
{
    std::vector<std::string> categories;
    MapiBuffer<SPropValue> value;
    if (FAILED(NamedProps().GetProp(kNameKeywords, PT_MV_UNICODE, value)))
        return categories;
    for (ULONG i = 0; i < value->Value.MVszW.cValues; ++i) {
        const std::u16string_view category(value->Value.MVszW.lppszW[i] ? value->Value.MVszW.lppszW[i] : u"");
        if (!category.empty())
            categories.push_back(WideToUtf8(category));
    }
    return categories;
}

std::optional<std::string> CContactMsg::PlainBodyUtf8()
{
    const BodySources& sources = Bodies();
    if (!sources.plain && !sources.rtf && !sources.html)
        return std::nullopt;
    std::string text;
    std::string charset = "utf-8";
    unsigned codePage = platform::kCodePageUtf8;
    PlainText(kBodyTypePlain, text, charset, codePage);
    return text;
}

HRESULT CContactMsg::SaveHeader(MimeOutput& output, bool top)
{
    if (HRESULT hr = CMMMessage::SaveHeader(output, top); FAILED(hr))
        return hr;
    if (!UserCertificates().empty())
        output.WriteHeader(VocabularyWord(Vocab::XHasCertificate), "true");
    const HeaderText text = Text();
    const std::optional<std::string> first = NamedText(kLidYomiFirstName) ? NamedText(kLidYomiFirstName)
                                                                           : PropText(PR_GIVEN_NAME_W);
    if (first)
        output.WriteHeader(VocabularyWord(Vocab::XFirstName), text.Unstructured(Utf8ToWide(*first)));
    const std::optional<std::string> last = NamedText(kLidYomiLastName) ? NamedText(kLidYomiLastName)
                                                                        : PropText(PR_SURNAME_W);
    if (last)
        output.WriteHeader(VocabularyWord(Vocab::XLastName), text.Unstructured(Utf8ToWide(*last)));
    if (const std::string numbers = TelephoneList(); !numbers.empty())
        output.WriteHeader(VocabularyWord(Vocab::XTelnum), numbers);
    return output.Write({});
}

std::string CContactMsg::TelephoneList()
{
    std::string list;
    for (const Telephone& telephone : kTelephones) {
        const std::optional<std::string> number = PropText(telephone.tag);
        if (!number)
            continue;
        if (!list.empty())
            list += ',';
        list.append("[").append(telephone.label).append("] ").append(DialString(Utf8ToWide(*number)));
    }
    return list;
}

HRESULT CContactMsg::GetSubject(std::string& subject)
{
    if (const std::optional<std::string> fileUnder = NamedText(kLidFileUnder)) {
        subject = Text().Unstructured(Utf8ToWide(*fileUnder));
        return S_OK;
    }
    return CMMMessage::GetSubject(subject);
}

HRESULT CContactMsg::GetMsgEncoding(unsigned& codePage)
{
    codePage = platform::kCodePageUtf8;
    return S_OK;
}

HRESULT CContactMsg::GetBodyType(unsigned& bodyType)
{
    bodyType = kBodyTypeCustom;
    return S_OK;
}

HRESULT CContactMsg::GetRecipients(ULONG type, std::string& list)
{
    if (type != kRecipientTo || (GetFlags() & kFlagExport) == 0)
        return CMMMessage::GetRecipients(type, list);
    // The first address the contact holds; a value that is no Internet address (an Exchange DN, a
    // display name) would make the field unreadable and is passed over.
    for (ULONG lid : kEmailLids) {
        const std::optional<std::string> address = NamedText(lid);
        if (address && IsAddrSpec(Utf8ToWide(*address))) {
            list = *address;
            return S_OK;
        }
    }
    return CMMMessage::GetRecipients(type, list);
}

HRESULT CContactMsg::SaveCustomBody(MimeOutput& output)
{
    TraceConversion("CContactMsg(%#lx)::SaveContact\n", TraceAddress(this));
    HRESULT hr = SaveContactHeader(output);
    if (SUCCEEDED(hr))
        hr = SaveContactContent(output);
    if (SUCCEEDED(hr))
        hr = output.Write("\r\n");
    const HRESULT closed = output.Write("\r\n");
    return FAILED(hr) ? hr : closed;
}

HRESULT CContactMsg::SaveContactHeader(MimeOutput& output)
{
    std::string header = "Content-Type: text/x-vcard";
    AppendParameter(header, "charset", std::string_view("utf-8"));
    std::optional<std::string> name = PropText(PR_DISPLAY_NAME_W);
    if (!name)
        name = PropText(PR_SUBJECT_W);
    const bool hasName = PropertyExists(Message(), PR_DISPLAY_NAME_W) || PropertyExists(Message(), PR_SUBJECT_W);
    if (hasName)
        AppendParameter(header, "name", Utf8ToWide(name.value_or("Contact") + ".vcf"));
    header += "\r\n";
    if ((GetFlags() & kFlagExport) == 0)
        header += "Content-Disposition: attachment\r\n";
    header += "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
    return output.Write(header);
}

HRESULT CContactMsg::SaveContactContent(MimeOutput& output)
{
    std::string text;
    VCardWriter card(text);
    card.Line("BEGIN:VCARD");
    card.Line("VERSION:2.1");
    SaveNames(card);
    if (const std::optional<std::string> body = PlainBodyUtf8())
        card.Property("NOTE", *body, CardValue::QuotedPrintable);
    SaveTelephones(card);
    SaveAddresses(card);
    if (const std::optional<std::string> url = PropText(PR_BUSINESS_HOME_PAGE_W))
        card.Property("URL;WORK", *url);
    if (const std::optional<std::string> role = PropText(PR_PROFESSION_W))
        card.Property("ROLE", *role);
    if (const std::optional<std::uint64_t> birthday = ReadTime(Message(), PR_BIRTHDAY))
        card.Property("BDAY", CardTime(*birthday, true));
    SaveEmails(card);
    PropValues sensitivity;
    const ULONG sensitivityTag[] = {PR_SENSITIVITY};
    if (SUCCEEDED(sensitivity.Read(Message(), sensitivityTag)) && sensitivity.Long(PR_SENSITIVITY) == 2)
        card.Line("CLASS:PRIVATE");
    SaveUserCertificates(card);
    SaveContactPhoto(card);
    if (const std::string uid = UidValue(); !uid.empty())
        card.Property("UID", uid);
    if (const std::optional<std::uint64_t> modified = ReadTime(Message(), PR_LAST_MODIFICATION_TIME))
        card.Property("REV", CardTime(*modified, false));
    if (const std::vector<std::string> categories = Categories(); !categories.empty()) {
        std::string list;
        for (const std::string& category : categories)
            list += (list.empty() ? "" : ",") + category;
        card.Property("CATEGORIES", list);
    }
    const std::optional<std::string> yomiLast = NamedText(kLidYomiLastName);
    const std::optional<std::string> yomiFirst = NamedText(kLidYomiFirstName);
    if (yomiLast || yomiFirst) {
        const std::string parts[] = {yomiLast.value_or(""), yomiFirst.value_or("")};
        card.Property("X-MS-N-YOMI", CompoundValue(parts));
    }
    if (const std::optional<std::string> yomiCompany = NamedText(kLidYomiCompanyName))
        card.Property("X-MS-ORG-YOMI", *yomiCompany);
    SaveCustomFields(card);
    MimeOutput kept(text);
    unsigned column = 0;
    NamedProps().SaveCustomTags(kept, column, 0);
    card.Line("END:VCARD");
    MemorySource source(text);
    return OutputEncodedData(output, source, static_cast<int>(TransferMode::QuotedPrintable), false);
}

void CContactMsg::SaveNames(VCardWriter& card)
{
    const std::string names[] = {PropText(PR_SURNAME_W).value_or(""), PropText(PR_GIVEN_NAME_W).value_or(""),
        PropText(PR_MIDDLE_NAME_W).value_or(""), PropText(PR_DISPLAY_NAME_PREFIX_W).value_or(""),
        PropText(PR_GENERATION_W).value_or("")};
    card.Property("N", CompoundValue(names));
    // Readers of vCards expect a formatted name: the display name, else the subject or "file under".
    std::optional<std::string> formatted = PropText(PR_DISPLAY_NAME_W);
    if (!formatted)
        formatted = PropText(PR_SUBJECT_W);
    if (!formatted)
        formatted = NamedText(kLidFileUnder);
    card.Property("FN", formatted.value_or(""), CardValue::OneLine);
    if (const std::optional<std::string> nickname = PropText(PR_NICKNAME_W))
        card.Property("NICKNAME", *nickname);
    if (const std::optional<std::string> fileAs = NamedText(kLidFileUnder))
        card.Property("X-FILE-AS", *fileAs, CardValue::OneLine);
    const std::string organisation[] = {PropText(PR_COMPANY_NAME_W).value_or(""),
        PropText(PR_DEPARTMENT_NAME_W).value_or("")};
    card.Property("ORG", CompoundValue(organisation));
    if (const std::optional<std::string> title = PropText(PR_TITLE_W))
        card.Property("TITLE", *title);
}

void CContactMsg::SaveTelephones(VCardWriter& card)
{
    for (const Telephone& telephone : kTelephones) {
        if (const std::optional<std::string> number = PropText(telephone.tag))
            card.Property(telephone.name, *number);
    }
}

void CContactMsg::SaveAddresses(VCardWriter& card)
{
    for (const Address& address : kAddresses) {
        std::string parts[7];
        bool any = false;
        for (std::size_t i = 0; i < 7; ++i) {
            const AddressPart& part = address.parts[i];
            const std::optional<std::string> value = part.lid != 0 ? NamedText(part.lid)
                                                     : part.tag != 0 ? PropText(part.tag)
                                                                     : std::nullopt;
            parts[i] = value.value_or("");
            any = any || value.has_value();
        }
        if (any)
            card.Property(address.name, CompoundValue(parts), CardValue::QuotedPrintable);
        if (const std::optional<std::string> label = NamedText(address.labelLid))
            card.Property(address.labelName, *label, CardValue::QuotedPrintable);
    }
}

void CContactMsg::SaveEmails(VCardWriter& card)
{
    std::optional<std::string> first = NamedText(kLidEmail1Address);
    if (!first)
        first = NamedText(kLidEmail1OriginalDisplayName);
    if (!first)
        first = PropText(PR_EMAIL_ADDRESS_W);
    if (first)
        card.Property("EMAIL;PREF;INTERNET", *first);
    constexpr ULONG kOtherEmails[][2] = {{kLidEmail2Address, kLidEmail2OriginalDisplayName},
        {kLidEmail3Address, kLidEmail3OriginalDisplayName}};
    for (const auto& lids : kOtherEmails) {
        std::optional<std::string> address = NamedText(lids[0]);
        if (!address)
            address = NamedText(lids[1]);
        if (address)
            card.Property("EMAIL;INTERNET", *address);
    }
    if (const std::optional<std::string> telex = PropText(PR_TELEX_NUMBER_W))
        card.Property("EMAIL;TLX", *telex);
    if (const std::optional<std::string> freeBusy = NamedText(kLidFreeBusyLocation))
        card.Property("FBURL", *freeBusy);
}

std::vector<std::string> CContactMsg::UserCertificates()
{
    std::vector<std::string> certificates;
    PropValues values;
    const ULONG tags[] = {PR_USER_X509_CERTIFICATE};
    if (FAILED(values.Read(Message(), tags)))
        return certificates;
    const SPropValue* blobs = values.Find(PR_USER_X509_CERTIFICATE);
    if (blobs == nullptr)
        return certificates;
    for (ULONG i = 0; i < blobs->Value.MVbin.cValues; ++i) {
        const SBinary& blob = blobs->Value.MVbin.lpbin[i];
        const std::optional<CertificateEntry> entry =
            FindCertificateEntry(std::span<const std::uint8_t>(blob.lpb, blob.cb));
        if (!entry)
            continue;
        if (entry->tag == kCertificateTagDer) {
            if (!entry->value.empty())
                certificates.emplace_back(entry->value.begin(), entry->value.end());
            continue;
        }
        std::string der;
        if (SUCCEEDED(Support().FindCertificate("addressbook", entry->value, der)) && !der.empty())
            certificates.push_back(std::move(der));
        else
            TraceConversion("CContactMsg(%#lx)::SaveUserCertificate - no certificate of that hash in the address book store\n",
                TraceAddress(this));
    }
    return certificates;
}

void CContactMsg::SaveUserCertificates(VCardWriter& card)
{
    for (const std::string& der : UserCertificates()) {
        const auto bytes = std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(der.data()), der.size());
        card.Block("KEY;X509;ENCODING=BASE64", BinData2QZ64String(bytes));
    }
}

void CContactMsg::SaveContactPhoto(VCardWriter& card)
{
    MapiBuffer<SPropValue> hasPicture;
    if (FAILED(NamedProps().GetProp(NamedKey(kLidHasPicture, PT_BOOLEAN), hasPicture)) || !hasPicture->Value.b)
        return;
    const std::optional<ULONG> number = ContactPhotoAttachment();
    if (!number) {
        TraceConversion("CContactMsg(%#lx)::SaveContactPhoto - no photo attachment\n", TraceAddress(this));
        return;
    }
    MapiPtr<IAttach> attach;
    std::string data;
    if (FAILED(Message()->OpenAttach(*number, nullptr, 0, attach.put()))) {
        TraceConversion("CContactMsg(%#lx)::SaveContactPhoto - OpenAttach failed\n", TraceAddress(this));
        return;
    }
    if (FAILED(ReadPropertyStream(attach.get(), PR_ATTACH_DATA_BIN, data)) || data.empty()) {
        TraceConversion("CContactMsg(%#lx)::SaveContactPhoto - the photo data cannot be read\n", TraceAddress(this));
        return;
    }
    const auto bytes = std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
    std::string name = "PHOTO;TYPE=";
    name.append(PhotoType(bytes)).append(";ENCODING=BASE64");
    AttachesInfo info;
    if (SUCCEEDED(GetAttachesInfo(info)) && info.otherCount > 0)
        name += ";X-MAPI-COPY";
    card.Block(name, BinData2QZ64String(bytes));
}

void CContactMsg::SaveCustomFields(VCardWriter& card)
{
    for (const CustomField& field : kCustomFields) {
        const std::optional<std::string> value = field.lid != 0 ? NamedText(field.lid) : PropText(field.tag);
        if (value)
            card.Property(field.name, *value);
    }
}

} // namespace mmconv
