// CMMMessage: originator addresses, recipient lists and Reply-To.
#include "mmconv/message/MMMessage.h"

#include <mapicode.h>
#include <mapitags.h>
#include <mapiutil.h>

#include "mmconv/encoding/CodePageConversion.h"
#include "mmconv/encoding/ConversionTrace.h"
#include "mmconv/message/AddressForm.h"
#include "mmconv/message/AsciiCase.h"
#include "mmconv/message/EntryIdForms.h"
#include "mmconv/message/LibraryState.h"
#include "mmconv/message/MapiProps.h"

namespace mmconv {
namespace {

// The properties of one originator.
struct AddressSet {
    ULONG addressType;
    ULONG entryId;
    ULONG address;
    ULONG smtpAddress;
    ULONG name;
};

constexpr AddressSet kSentRepresenting = {0x0064001F, 0x00410102, 0x0065001F, 0x5D02001F, 0x0042001F};
constexpr AddressSet kSender = {0x0C1E001F, 0x0C190102, 0x0C1F001F, 0x5D01001F, 0x0C1A001F};
constexpr AddressSet kReceivedRepresenting = {0x0077001F, 0x00430102, 0x0078001F, 0x5D07001F, 0x0044001F};

constexpr ULONG kRecipientColumns[] = {PR_DISPLAY_NAME_W, PR_RECIPIENT_DISPLAY_NAME_W, PR_ADDRTYPE_W,
    PR_RECIPIENT_TYPE, PR_EMAIL_ADDRESS_W, PR_SMTP_ADDRESS_W, PR_ENTRYID};
constexpr ULONG kEntryColumns[] = {PR_DISPLAY_NAME_W, PR_ADDRTYPE_W, PR_EMAIL_ADDRESS_W, PR_SMTP_ADDRESS_W,
    PR_RECIPIENT_DISPLAY_NAME_W};

std::string Narrow(std::u16string_view ascii)
{
    return std::string(ascii.begin(), ascii.end());
}

std::u16string Widen(std::string_view ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

// One entry of an address list, or of a list's stand-in for a named entry without an address.
struct ListEntry {
    std::u16string name;
    std::u16string addressType;
    std::u16string address;
    std::u16string smtpAddress;
    std::span<const BYTE> entryId;
};

ListEntry EntryOf(const SPropValue* values, ULONG count)
{
    ListEntry entry;
    auto text = [&](ULONG tag) { return std::u16string(UnicodeValue(FindValue(values, count, tag)).value_or(u"")); };
    entry.name = text(PR_DISPLAY_NAME_W);
    if (entry.name.empty())
        entry.name = text(PR_RECIPIENT_DISPLAY_NAME_W);
    entry.addressType = text(PR_ADDRTYPE_W);
    entry.address = text(PR_EMAIL_ADDRESS_W);
    entry.smtpAddress = text(PR_SMTP_ADDRESS_W);
    entry.entryId = BinaryValue(FindValue(values, count, PR_ENTRYID)).value_or(std::span<const BYTE>());
    return entry;
}

} // namespace

std::optional<std::string> CMMMessage::ChooseAddress(std::u16string_view addressType, std::u16string_view address,
    std::u16string_view smtpAddress, std::span<const BYTE> entryId)
{
    if (addressType.empty() || EqualIgnoringAsciiCase(addressType, u"SMTP")) {
        if (IsAddrSpec(address))
            return Narrow(address);
        return std::nullopt;
    }
    if (!EqualIgnoringAsciiCase(addressType, u"EX"))
        return std::nullopt;
    if (IsAddrSpec(smtpAddress))
        return Narrow(smtpAddress);
    if (entryId.empty())
        return std::nullopt;
    ULONG objectType = 0;
    MapiPtr<IMAPIProp> entry;
    if (FAILED(support_.OpenEntry(static_cast<ULONG>(entryId.size()), reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(entryId.data())),
            nullptr, 0, &objectType, entry.put_unknown())) || !entry)
        return std::nullopt;
    PropValues values;
    const ULONG tags[] = {PR_SMTP_ADDRESS_W};
    if (FAILED(values.Read(entry.get(), tags)))
        return std::nullopt;
    const std::optional<std::u16string_view> smtp = values.Unicode(PR_SMTP_ADDRESS_W);
    if (!smtp || !IsAddrSpec(*smtp))
        return std::nullopt;
    return Narrow(*smtp);
}

HRESULT CMMMessage::GetAddressString(AddressKind kind, std::string& address, bool encode)
{
    address.clear();
    const AddressSet* set = kind == AddressKind::Sender ? &kSender
                            : kind == AddressKind::ReceivedFor ? &kReceivedRepresenting
                                                               : &kSentRepresenting;
    PropValues values;
    const ULONG tags[] = {set->addressType, set->entryId, set->address, set->smtpAddress, set->name};
    if (HRESULT hr = values.Read(message_.get(), tags); FAILED(hr))
        return hr;
    if (kind == AddressKind::Author && !values.Unicode(kSentRepresenting.address) &&
        !values.Unicode(kSentRepresenting.smtpAddress)) {
        set = &kSender;
        const ULONG senderTags[] = {set->addressType, set->entryId, set->address, set->smtpAddress, set->name};
        if (HRESULT hr = values.Read(message_.get(), senderTags); FAILED(hr))
            return hr;
    }
    const std::optional<std::u16string_view> chosenAddress =
        set == &kSentRepresenting && values.Unicode(set->smtpAddress) ? values.Unicode(set->smtpAddress)
                                                                      : values.Unicode(set->address);
    const std::optional<std::string> smtp = ChooseAddress(values.Unicode(set->addressType).value_or(u""),
        chosenAddress.value_or(u""), values.Unicode(set->smtpAddress).value_or(u""),
        values.Binary(set->entryId).value_or(std::span<const BYTE>()));
    if (!smtp)
        return MAPI_E_NOT_FOUND;
    address = EncodeRecepientName(Text(), values.Unicode(set->name).value_or(u""), *smtp, encode);
    return S_OK;
}

std::string CMMMessage::MailboxOwnerAddress()
{
    const std::optional<std::string> address = support_.GetConfigString(kConfigMailboxAddress);
    if (!address || !IsAddrSpec(Widen(*address)))
        return {};
    std::u16string name;
    if (const std::optional<std::string> configured = support_.GetConfigString(kConfigMailboxName))
        Encoding2Unicode(*configured, Lang().GetDefaultANSIPage(), name);
    return EncodeRecepientName(Text(), name, *address, true);
}

HRESULT CMMMessage::ReadRecipientRows()
{
    if (recipientsRead_)
        return S_OK;
    recipientsRead_ = true;
    MapiPtr<IMAPITable> table;
    if (HRESULT hr = message_->GetRecipientTable(MAPI_UNICODE, table.put()); FAILED(hr))
        return hr;
    TagList columns(kRecipientColumns);
    return HrQueryAllRows(table.get(), columns.get(), nullptr, nullptr, 0, recipientRows_.put());
}

HRESULT CMMMessage::GetRecipients(ULONG type, std::string& list)
{
    list.clear();
    if (HRESULT hr = ReadRecipientRows(); FAILED(hr))
        return hr;
    const HeaderText text = Text();
    for (ULONG row = 0; row < recipientRows_.size(); ++row) {
        const SRow& values = recipientRows_->aRow[row];
        const SPropValue* recipientType = FindValue(values.lpProps, values.cValues, PR_RECIPIENT_TYPE);
        if (recipientType == nullptr || static_cast<ULONG>(recipientType->Value.l) != type)
            continue;
        ListEntry entry = EntryOf(values.lpProps, values.cValues);
        std::optional<std::string> address = ChooseAddress(entry.addressType, entry.address, entry.smtpAddress,
            entry.entryId);
        std::u16string name = entry.name.empty() && address ? Widen(*address) : entry.name;
        const std::optional<ParsedMailbox> parsed = ParseMailbox(name);
        if (!address && entry.addressType.empty() && entry.address.empty() && parsed) {
            address = Narrow(parsed->address);
            name = parsed->phrase;
        } else if (address && parsed && EqualIgnoringAsciiCase(parsed->address, Widen(*address))) {
            name = parsed->phrase;
        }
        if (!list.empty() && (address || !name.empty()))
            list += kAddressSeparator;
        if (address) {
            list += EncodeRecepientName(text, name, *address, !name.empty());
            continue;
        }
        const std::string why = entry.addressType.empty() || EqualIgnoringAsciiCase(entry.addressType, u"EX") ||
                                        EqualIgnoringAsciiCase(entry.addressType, u"SMTP")
                                    ? std::string("absent smtp mail adsress")
                                    : Narrow(entry.addressType);
        TraceConversion("***WARNING***, Unable to save recipient - %s", why.c_str());
        if (!name.empty())
            list += EmptyGroup(text, name);
    }
    return S_OK;
}

HRESULT CMMMessage::GetReplyToRecips(std::string& list, std::string_view authorAddress)
{
    list.clear();
    PropValues values;
    const ULONG tags[] = {PR_REPLY_RECIPIENT_ENTRIES};
    if (HRESULT hr = values.Read(message_.get(), tags); FAILED(hr))
        return hr;
    const std::optional<std::span<const BYTE>> entries = values.Binary(PR_REPLY_RECIPIENT_ENTRIES);
    if (!entries)
        return MAPI_E_NOT_FOUND;
    unsigned codePage = 0;
    GetMsgEncoding(codePage);
    const HeaderText text = Text();
    int position = 0;
    for (std::span<const std::uint8_t> entryId : ParseFlatEntryList(*entries)) {
        ListEntry entry;
        if (std::optional<OneOffEntry> oneOff = ParseOneOffEntryId(entryId, codePage)) {
            entry.name = std::move(oneOff->displayName);
            entry.addressType = std::move(oneOff->addressType);
            entry.address = std::move(oneOff->address);
        } else {
            ULONG objectType = 0;
            MapiPtr<IMAPIProp> opened;
            if (FAILED(support_.OpenEntry(static_cast<ULONG>(entryId.size()),
                    reinterpret_cast<LPENTRYID>(const_cast<std::uint8_t*>(entryId.data())), nullptr, 0, &objectType,
                    opened.put_unknown())) || !opened) {
                TraceConversion("***WARNING***, Unable to open ReplyTo property entry, position:%d", position++);
                continue;
            }
            PropValues read;
            if (FAILED(read.Read(opened.get(), kEntryColumns))) {
                TraceConversion("***WARNING***, Unable to parse ReplyTo property entry, position:%d", position++);
                continue;
            }
            entry.name = std::u16string(read.Unicode(PR_DISPLAY_NAME_W).value_or(u""));
            if (entry.name.empty())
                entry.name = std::u16string(read.Unicode(PR_RECIPIENT_DISPLAY_NAME_W).value_or(u""));
            entry.addressType = std::u16string(read.Unicode(PR_ADDRTYPE_W).value_or(u""));
            entry.address = std::u16string(read.Unicode(PR_EMAIL_ADDRESS_W).value_or(u""));
            entry.smtpAddress = std::u16string(read.Unicode(PR_SMTP_ADDRESS_W).value_or(u""));
        }
        ++position;
        if (EqualIgnoringAsciiCase(entry.addressType, u"EX") && EqualIgnoringAsciiCase(entry.address, Widen(authorAddress)))
            continue;
        const std::optional<std::string> address = ChooseAddress(entry.addressType, entry.address, entry.smtpAddress, {});
        if (!address) {
            TraceConversion("***WARNING***, Unable to parse ReplyTo property entry, position:%d", position - 1);
            continue;
        }
        if (!list.empty())
            list += kAddressSeparator;
        std::u16string name = entry.name;
        if (const std::optional<ParsedMailbox> parsed = ParseMailbox(name);
            parsed && EqualIgnoringAsciiCase(parsed->address, Widen(*address)))
            name = parsed->phrase;
        list += EncodeRecepientName(text, name, *address, true);
    }
    return S_OK;
}

} // namespace mmconv
