// The SMTP address pass over originators, Reply-To, recipients and embedded messages, in its
// UTF-16 and 8-bit forms.
#include "ex2qln/transfer/SmtpAddressPass.h"

#include "ex2qln/diag/Log.h"
#include "ex2qln/transfer/AddressForms.h"

#include <MapiPtr.h>
#include <mapicode.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <span>

namespace ex2qln::transfer {
namespace {

constexpr ULONG kSlotCount = 13;
constexpr ULONG kSlotWidth = 6;
constexpr ULONG kSlotValues = kSlotCount * kSlotWidth;
// The positions in a slot and in an entry after PrepareRecips.
enum Column : ULONG { kName, kAddressType, kAddress, kSearchKey, kEntryId, kSmtp };

// The originator slots: the property ids of name, address type, address, search key and entry
// identifier; 0 where the slot has no such property.
constexpr std::array<std::array<ULONG, 5>, kSlotCount> kSlots{{
    {0x0C1A, 0x0C1E, 0x0C1F, 0x0C1D, 0x0C19},  // sender
    {0x0042, 0x0064, 0x0065, 0x003B, 0x0041},  // sent representing
    {0x005A, 0x0066, 0x0067, 0x005C, 0x005B},  // original sender
    {0x005D, 0x0068, 0x0069, 0x005F, 0x005E},  // original sent representing
    {0x0040, 0x0075, 0x0076, 0x0051, 0x003F},  // received by
    {0x0044, 0x0077, 0x0078, 0x0052, 0x0043},  // received representing
    {0x004D, 0x0079, 0x007A, 0x0056, 0x004C},  // original author
    {0x003A, 0, 0, 0x0054, 0x0045},            // report
    {0, 0, 0, 0x0053, 0x0046},                 // read receipt
    {0x665B, 0x665D, 0x665C, 0, 0x665E},
    {0x6664, 0, 0, 0, 0x6665},
    {0x3FF8, 0, 0, 0, 0x3FF9},                 // creator
    {0x3FFA, 0, 0, 0, 0x3FFB},                 // last modifier
}};

constexpr ULONG kAttachmentMethodEmbedded = 5;

void Report(const char* format, HRESULT status)
{
    std::fprintf(stderr, format, static_cast<unsigned>(status));
    std::fflush(stderr);
}

bool IsType(const SPropValue& value, ULONG type) { return PROP_TYPE(value.ulPropTag) == type; }

// Fills `value` with a copy of `text` chained to `parent`.
template <typename Strings>
HRESULT SetText(SPropValue& value, ULONG tag, typename Strings::View text, void* parent)
{
    using Char = typename Strings::View::value_type;
    void* buffer = nullptr;
    const ULONG size = static_cast<ULONG>((text.size() + 1) * sizeof(Char));
    if (HRESULT status = MAPIAllocateMore(size, parent, &buffer); FAILED(status))
        return status;
    std::memcpy(buffer, text.data(), text.size() * sizeof(Char));
    static_cast<Char*>(buffer)[text.size()] = 0;
    value.ulPropTag = tag;
    if constexpr (Strings::kType == PT_UNICODE)
        value.Value.lpszW = static_cast<LPWSTR>(buffer);
    else
        value.Value.lpszA = static_cast<LPSTR>(buffer);
    return S_OK;
}

HRESULT SetBinary(SPropValue& value, ULONG tag, std::span<const BYTE> bytes, void* parent)
{
    void* buffer = nullptr;
    if (HRESULT status = MAPIAllocateMore(static_cast<ULONG>(bytes.size()), parent, &buffer); FAILED(status))
        return status;
    std::memcpy(buffer, bytes.data(), bytes.size());
    value.ulPropTag = tag;
    value.Value.bin.cb = static_cast<ULONG>(bytes.size());
    value.Value.bin.lpb = static_cast<LPBYTE>(buffer);
    return S_OK;
}

// An address list of `count` empty entries in MAPI memory, to be freed with FreePadrlist.
HRESULT NewAddressList(ULONG count, LPADRLIST& list)
{
    void* buffer = nullptr;
    if (HRESULT status = MAPIAllocateBuffer(CbNewADRLIST(count), &buffer); FAILED(status))
        return status;
    std::memset(buffer, 0, CbNewADRLIST(count));
    list = static_cast<LPADRLIST>(buffer);
    list->cEntries = count;
    return S_OK;
}

// Values for one entry, each entry in an allocation of its own as PrepareRecips wants it.
HRESULT NewEntryValues(ADRENTRY& entry, ULONG count)
{
    void* buffer = nullptr;
    if (HRESULT status = MAPIAllocateBuffer(count * sizeof(SPropValue), &buffer); FAILED(status))
        return status;
    std::memset(buffer, 0, count * sizeof(SPropValue));
    entry.rgPropVals = static_cast<LPSPropValue>(buffer);
    entry.cValues = count;
    for (ULONG i = 0; i < count; ++i)
        entry.rgPropVals[i].ulPropTag = PR_NULL;
    return S_OK;
}

class AddressListOwner {
public:
    ~AddressListOwner() { FreePadrlist(list_); }
    LPADRLIST& get() { return list_; }

private:
    LPADRLIST list_ = nullptr;
};

template <typename Strings>
class AddressPass {
public:
    explicit AddressPass(IAddrBook* addressBook) : addressBook_(addressBook)
    {
        columns_.cValues = kSlotWidth;
        const ULONG tags[kSlotWidth] = {StringTag(PR_DISPLAY_NAME), StringTag(PR_ADDRTYPE), StringTag(PR_EMAIL_ADDRESS),
                                        PR_SEARCH_KEY, PR_ENTRYID, StringTag(PR_SMTP_ADDRESS)};
        std::copy(std::begin(tags), std::end(tags), columns_.aulPropTag);
    }

    HRESULT Run(IMessage* message);

private:
    static ULONG StringTag(ULONG tag) { return CHANGE_PROP_TYPE(tag, Strings::kType); }
    static ULONG SlotTag(ULONG slot, ULONG column);
    LPSPropTagArray Columns() { return reinterpret_cast<LPSPropTagArray>(&columns_); }
    static bool HasText(const SPropValue& value) { return IsType(value, Strings::kType); }
    static typename Strings::View TextOf(const SPropValue& value) { return Strings::Of(value); }

    HRESULT Originators(IMessage* message);
    HRESULT ResolveSlot(ULONG slot, const ADRENTRY& entry, LPSPropValue values, void* parent);
    HRESULT ReplyTo(IMessage* message);
    HRESULT Recipients(IMessage* message);
    HRESULT RewriteRecipient(SRow& row);
    HRESULT EmbeddedMessages(IMessage* message);
    HRESULT EmbeddedMessage(IMessage* message, ULONG number, ULONG index, ULONG count);
    // Sets the search key and the one-off entry identifier of an address (`name` may be missing or
    // empty); a tag of PR_NULL leaves that value alone.
    HRESULT SetAddressKeys(SPropValue& searchKey, ULONG searchKeyTag, SPropValue& entryId, ULONG entryIdTag,
                           const SPropValue& name, const SPropValue& addressType, const SPropValue& address,
                           void* parent);

    IAddrBook* addressBook_;
    SizedSPropTagArray(kSlotWidth, columns_);
};

template <typename Strings>
ULONG AddressPass<Strings>::SlotTag(ULONG slot, ULONG column)
{
    const ULONG id = column < 5 ? kSlots[slot][column] : 0;
    if (id == 0)
        return PR_NULL;
    return PROP_TAG(column == kSearchKey || column == kEntryId ? PT_BINARY : Strings::kType, id);
}

template <typename Strings>
HRESULT AddressPass<Strings>::Run(IMessage* message)
{
    HRESULT status = Originators(message);
    if (SUCCEEDED(status))
        status = ReplyTo(message);
    if (SUCCEEDED(status))
        status = Recipients(message);
    if (SUCCEEDED(status))
        status = EmbeddedMessages(message);
    return FAILED(status) ? status : S_OK;
}

template <typename Strings>
HRESULT AddressPass<Strings>::Originators(IMessage* message)
{
    SizedSPropTagArray(kSlotValues, tags);
    tags.cValues = kSlotValues;
    for (ULONG slot = 0; slot < kSlotCount; ++slot) {
        for (ULONG column = 0; column < kSlotWidth; ++column)
            tags.aulPropTag[slot * kSlotWidth + column] = SlotTag(slot, column);
    }
    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    HRESULT status = QLN_CHECK(message->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), Strings::kStringFlag,
                                                 &count, values.put()));
    if (FAILED(status) || count != kSlotValues) {
        Report("Unable to get required message properties [%#x].\n", FAILED(status) ? status : MAPI_E_CALL_FAILED);
        return FAILED(status) ? status : MAPI_E_CALL_FAILED;
    }

    AddressListOwner list;
    status = NewAddressList(kSlotCount, list.get());
    for (ULONG slot = 0; SUCCEEDED(status) && slot < kSlotCount; ++slot) {
        ADRENTRY& entry = list.get()->aEntries[slot];
        status = NewEntryValues(entry, kSlotWidth);
        for (ULONG column = 0; SUCCEEDED(status) && column < kEntryId + 1; ++column) {
            SPropValue& value = values[slot * kSlotWidth + column];
            if (value.ulPropTag == PR_NULL || value.ulPropTag != tags.aulPropTag[slot * kSlotWidth + column])
                continue;
            status = PropCopyMore(&entry.rgPropVals[column], &value, MAPIAllocateMore, entry.rgPropVals);
            entry.rgPropVals[column].ulPropTag = columns_.aulPropTag[column];
        }
        if (SUCCEEDED(status)) {
            entry.rgPropVals[kSmtp].ulPropTag = PR_RECIPIENT_TYPE;
            entry.rgPropVals[kSmtp].Value.l = MAPI_TO;
        }
    }
    if (FAILED(status)) {
        Report("Not enough resources [%#x].\n", status);
        return status;
    }
    status = QLN_CHECK(addressBook_->PrepareRecips(0, Columns(), list.get()));
    if (FAILED(status)) {
        Report("Can not prepare recipients addresses [%#x].\n", status);
        return status;
    }
    for (ULONG slot = 0; slot < kSlotCount; ++slot) {
        status = ResolveSlot(slot, list.get()->aEntries[slot], values.get() + slot * kSlotWidth, values.get());
        if (FAILED(status))
            return status;
    }

    // Only the values the message has (or now has) go back; errors and empty places are left out.
    std::array<SPropValue, kSlotValues> written{};
    ULONG writtenCount = 0;
    for (ULONG i = 0; i < kSlotValues; ++i) {
        if (values[i].ulPropTag != PR_NULL && !IsType(values[i], PT_ERROR) && values[i].ulPropTag == tags.aulPropTag[i])
            written[writtenCount++] = values[i];
    }
    status = QLN_CHECK(message->SetProps(writtenCount, written.data(), nullptr));
    if (FAILED(status))
        Report("Can not set recipients addresses [%#x].\n", status);
    return status;
}

template <typename Strings>
HRESULT AddressPass<Strings>::ResolveSlot(ULONG slot, const ADRENTRY& entry, LPSPropValue values, void* parent)
{
    if (entry.cValues < kSlotWidth || entry.rgPropVals == nullptr ||
        PROP_ID(entry.rgPropVals[kSmtp].ulPropTag) != PROP_ID(PR_SMTP_ADDRESS))
        return S_OK;
    const SPropValue* resolved = entry.rgPropVals;
    const auto has = [&](ULONG column) { return SlotTag(slot, column) != PR_NULL; };
    const auto present = [&](ULONG column) { return has(column) && values[column].ulPropTag == SlotTag(slot, column); };
    HRESULT status = S_OK;
    if (const SPropValue* smtp = SmtpAddressOf<Strings>(resolved, entry.cValues)) {
        if (has(kAddressType))
            status = SetText<Strings>(values[kAddressType], SlotTag(slot, kAddressType), Strings::kSmtp, parent);
        if (SUCCEEDED(status) && has(kAddress))
            status = SetText<Strings>(values[kAddress], SlotTag(slot, kAddress), TextOf(*smtp), parent);
    }
    if (SUCCEEDED(status) && has(kName) && !present(kName)) {
        const SPropValue& name = HasText(resolved[kName]) ? resolved[kName] : resolved[kAddress];
        if (HasText(name))
            status = SetText<Strings>(values[kName], SlotTag(slot, kName), TextOf(name), parent);
    }
    if (FAILED(status)) {
        Report("Not enough resources [%#x].\n", status);
        return status;
    }
    if (!present(kAddressType) || !present(kAddress))
        return S_OK;
    return SetAddressKeys(values[kSearchKey], SlotTag(slot, kSearchKey), values[kEntryId], SlotTag(slot, kEntryId),
                          values[kName], values[kAddressType], values[kAddress], parent);
}

template <typename Strings>
HRESULT AddressPass<Strings>::SetAddressKeys(SPropValue& searchKey, ULONG searchKeyTag, SPropValue& entryId,
                                             ULONG entryIdTag, const SPropValue& name, const SPropValue& addressType,
                                             const SPropValue& address, void* parent)
{
    if (searchKeyTag != PR_NULL) {
        const HRESULT status =
            SetBinary(searchKey, searchKeyTag, SearchKey(TextOf(addressType), TextOf(address)), parent);
        if (FAILED(status)) {
            Report("Can not create recipient search key [%#x].\n", status);
            return status;
        }
    }
    if (entryIdTag != PR_NULL) {
        const typename Strings::View shown = HasText(name) && !TextOf(name).empty() ? TextOf(name) : TextOf(address);
        const HRESULT status =
            SetBinary(entryId, entryIdTag, OneOffEntryId(shown, TextOf(addressType), TextOf(address)), parent);
        if (FAILED(status)) {
            Report("Can not create recipient address [%#x].\n", status);
            return status;
        }
    }
    return S_OK;
}

// ---- Reply-To ------------------------------------------------------------------------------------

// The entries of a flat entry list, each aligned to 4 bytes; a list cut short gives the entries
// that it holds whole.
std::vector<std::span<const BYTE>> FlatEntries(const SBinary& list)
{
    std::vector<std::span<const BYTE>> entries;
    if (list.cb < 8 || list.lpb == nullptr)
        return entries;
    const auto read32 = [&](ULONG offset) {
        return static_cast<ULONG>(list.lpb[offset]) | static_cast<ULONG>(list.lpb[offset + 1]) << 8 |
               static_cast<ULONG>(list.lpb[offset + 2]) << 16 | static_cast<ULONG>(list.lpb[offset + 3]) << 24;
    };
    const ULONG count = read32(0);
    ULONG offset = 8;
    for (ULONG i = 0; i < count && offset + 4 <= list.cb; ++i) {
        const ULONG size = read32(offset);
        if (size > list.cb - offset - 4)
            break;
        entries.emplace_back(list.lpb + offset + 4, size);
        offset += 4 + ((size + 3) & ~3u);
    }
    return entries;
}

std::vector<BYTE> FlatEntryList(const std::vector<std::vector<BYTE>>& entries)
{
    std::vector<BYTE> list(8, 0);
    const auto append32 = [&](ULONG value) {
        for (int shift = 0; shift < 32; shift += 8)
            list.push_back(static_cast<BYTE>(value >> shift));
    };
    for (const std::vector<BYTE>& entry : entries) {
        append32(static_cast<ULONG>(entry.size()));
        list.insert(list.end(), entry.begin(), entry.end());
        list.resize(list.size() + (-entry.size() & 3u), 0);
    }
    const auto put32 = [&](ULONG offset, ULONG value) {
        for (int shift = 0; shift < 32; shift += 8)
            list[offset + shift / 8] = static_cast<BYTE>(value >> shift);
    };
    put32(0, static_cast<ULONG>(entries.size()));
    put32(4, static_cast<ULONG>(list.size() - 8));
    return list;
}

template <typename Strings>
HRESULT AddressPass<Strings>::ReplyTo(IMessage* message)
{
    MapiBuffer<SPropValue> replyTo;
    HRESULT status = HrGetOneProp(message, PR_REPLY_RECIPIENT_ENTRIES, replyTo.put());
    if (status == MAPI_E_NOT_FOUND)
        return S_OK;
    if (FAILED(QLN_CHECK(status))) {
        Report("Can not get Reply-To recipients addresses [%#x].\n", status);
        return status;
    }
    const std::vector<std::span<const BYTE>> entries = FlatEntries(replyTo->Value.bin);
    if (entries.empty())
        return S_OK;

    AddressListOwner list;
    status = NewAddressList(static_cast<ULONG>(entries.size()), list.get());
    for (std::size_t i = 0; SUCCEEDED(status) && i < entries.size(); ++i) {
        ADRENTRY& entry = list.get()->aEntries[i];
        status = NewEntryValues(entry, 2);
        if (SUCCEEDED(status))
            status = SetBinary(entry.rgPropVals[0], PR_ENTRYID, entries[i], entry.rgPropVals);
        if (SUCCEEDED(status)) {
            entry.rgPropVals[1].ulPropTag = PR_RECIPIENT_TYPE;
            entry.rgPropVals[1].Value.l = MAPI_TO;
        }
    }
    if (FAILED(status)) {
        Report("Not enough resources [%#x].\n", status);
        return status;
    }
    status = QLN_CHECK(addressBook_->PrepareRecips(0, Columns(), list.get()));
    if (FAILED(status)) {
        Report("Can not prepare reply-to addresses [%#x].\n", status);
        return status;
    }
    std::vector<std::vector<BYTE>> rewritten;
    for (ULONG i = 0; i < list.get()->cEntries; ++i) {
        const ADRENTRY& entry = list.get()->aEntries[i];
        if (entry.cValues < kSlotWidth || PROP_ID(entry.rgPropVals[kSmtp].ulPropTag) != PROP_ID(PR_SMTP_ADDRESS))
            continue;
        const SPropValue* smtp = SmtpAddressOf<Strings>(entry.rgPropVals, entry.cValues);
        if (smtp == nullptr)
            continue;
        const SPropValue& name = entry.rgPropVals[kName];
        const typename Strings::View shown = HasText(name) && !TextOf(name).empty() ? TextOf(name) : TextOf(*smtp);
        rewritten.push_back(OneOffEntryId(shown, Strings::kSmtp, TextOf(*smtp)));
    }
    std::vector<BYTE> flat = FlatEntryList(rewritten);
    SPropValue value{};
    value.ulPropTag = PR_REPLY_RECIPIENT_ENTRIES;
    value.Value.bin.cb = static_cast<ULONG>(flat.size());
    value.Value.bin.lpb = flat.data();
    status = QLN_CHECK(HrSetOneProp(message, &value));
    if (FAILED(status))
        Report("Can not set recipients addresses [%#x].\n", status);
    return status;
}

// ---- Recipients ----------------------------------------------------------------------------------

template <typename Strings>
HRESULT AddressPass<Strings>::Recipients(IMessage* message)
{
    MapiPtr<IMAPITable> table;
    MapiRows rows;
    HRESULT status = QLN_CHECK(message->GetRecipientTable(Strings::kStringFlag, table.put()));
    if (SUCCEEDED(status))
        status = QLN_CHECK(HrQueryAllRows(table.get(), nullptr, nullptr, nullptr, 0, rows.put()));
    if (FAILED(status)) {
        Report("Can not get recipients table [%#x].\n", status);
        return status;
    }
    if (rows.size() == 0)
        return S_OK;
    // A row set is laid out as an address list.
    status = QLN_CHECK(addressBook_->PrepareRecips(0, Columns(), reinterpret_cast<LPADRLIST>(rows.get())));
    if (FAILED(status)) {
        Report("Can not prepare recipients addresses [%#x].\n", status);
        return status;
    }
    for (ULONG i = 0; i < rows.size(); ++i) {
        status = RewriteRecipient(rows->aRow[i]);
        if (FAILED(status))
            return status;
    }
    status = QLN_CHECK(message->ModifyRecipients(0, reinterpret_cast<LPADRLIST>(rows.get())));
    if (FAILED(status))
        Report("Can not set recipients [%#x].\n", status);
    return status;
}

template <typename Strings>
HRESULT AddressPass<Strings>::RewriteRecipient(SRow& row)
{
    if (row.cValues < kSlotWidth || row.lpProps == nullptr || row.lpProps[kSmtp].ulPropTag != StringTag(PR_SMTP_ADDRESS))
        return S_OK;
    SPropValue* values = row.lpProps;
    const SPropValue& smtp = values[kSmtp];
    HRESULT status = S_OK;
    if (!HasText(values[kAddressType]) || TextOf(values[kAddressType]) != Strings::kSmtp) {
        status = SetText<Strings>(values[kAddressType], StringTag(PR_ADDRTYPE), Strings::kSmtp, values);
        if (SUCCEEDED(status))
            status = SetText<Strings>(values[kAddress], StringTag(PR_EMAIL_ADDRESS), TextOf(smtp), values);
    }
    if (SUCCEEDED(status) && !HasText(values[kName]) && HasText(values[kAddress]))
        status = SetText<Strings>(values[kName], StringTag(PR_DISPLAY_NAME), TextOf(values[kAddress]), values);
    if (FAILED(status)) {
        Report("Not enough resources [%#x].\n", status);
        return status;
    }
    if (!HasText(values[kAddressType]) || !HasText(values[kAddress]))
        return S_OK;
    return SetAddressKeys(values[kSearchKey], PR_SEARCH_KEY, values[kEntryId], PR_ENTRYID, values[kName],
                          values[kAddressType], values[kAddress], values);
}

// ---- Embedded messages ---------------------------------------------------------------------------

template <typename Strings>
HRESULT AddressPass<Strings>::EmbeddedMessages(IMessage* message)
{
    SizedSPropTagArray(2, columns) = {2, {PR_ATTACH_NUM, PR_ATTACH_METHOD}};
    MapiPtr<IMAPITable> table;
    MapiRows rows;
    HRESULT status = QLN_CHECK(message->GetAttachmentTable(0, table.put()));
    if (SUCCEEDED(status))
        status = QLN_CHECK(HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr,
                                          0, rows.put()));
    if (FAILED(status)) {
        Report("Can not access attachments [%#x].\n", status);
        return status;
    }
    for (ULONG i = 0; i < rows.size(); ++i) {
        const SRow& row = rows->aRow[i];
        const SPropValue* number = FindValue(row.lpProps, row.cValues, PR_ATTACH_NUM);
        const SPropValue* method = FindValue(row.lpProps, row.cValues, PR_ATTACH_METHOD);
        if (number == nullptr || method == nullptr || static_cast<ULONG>(method->Value.l) != kAttachmentMethodEmbedded)
            continue;
        status = EmbeddedMessage(message, static_cast<ULONG>(number->Value.l), i + 1, rows.size());
        if (FAILED(status))
            return status;
    }
    return S_OK;
}

template <typename Strings>
HRESULT AddressPass<Strings>::EmbeddedMessage(IMessage* message, ULONG number, ULONG index, ULONG count)
{
    MapiPtr<IAttach> attachment;
    MapiPtr<IMessage> embedded;
    HRESULT status = QLN_CHECK(message->OpenAttach(number, nullptr, MAPI_MODIFY, attachment.put()));
    if (SUCCEEDED(status))
        status = QLN_CHECK(attachment->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, MAPI_MODIFY,
                                                    embedded.put_unknown()));
    if (FAILED(status)) {
        if constexpr (Strings::kType == PT_UNICODE)
            std::fprintf(stderr, "Can not access attachment %u of %u [%#x].\n", static_cast<unsigned>(index),
                         static_cast<unsigned>(count), static_cast<unsigned>(status));
        else
            std::fprintf(stderr, "Can not access attachment [%#x].\n", static_cast<unsigned>(status));
        std::fflush(stderr);
        return status;
    }
    status = Run(embedded.get());
    // The saves put the rewritten message into its attachment and that into the parent, in memory.
    if (SUCCEEDED(status))
        status = QLN_CHECK(embedded->SaveChanges(KEEP_OPEN_READWRITE));
    if (SUCCEEDED(status))
        status = QLN_CHECK(attachment->SaveChanges(KEEP_OPEN_READWRITE));
    if (FAILED(status))
        Report("Can not convert attachment [%#x].\n", status);
    return status;
}

} // namespace

HRESULT SmtpAddressPass(IAddrBook* addressBook, IMessage* message, bool ascii)
{
    if (addressBook == nullptr || message == nullptr)
        return E_INVALIDARG;
    try {
        if (ascii)
            return AddressPass<AnsiStrings>(addressBook).Run(message);
        return AddressPass<WideStrings>(addressBook).Run(message);
    } catch (const std::bad_alloc&) {
        Report("Not enough resources [%#x].\n", E_OUTOFMEMORY);
        return E_OUTOFMEMORY;
    }
}

} // namespace ex2qln::transfer
