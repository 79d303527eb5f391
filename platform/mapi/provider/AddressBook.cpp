// IAddrBook: opening entries, comparing them, and filling recipient lists from the GAL.
#include "platform/mapi/provider/AddressBook.h"

#include <mapitags.h>

#include <algorithm>
#include <cstring>

#include "platform/mapi/core/PropValues.h"
#include "platform/mapi/core/StringForms.h"
#include "platform/mapi/provider/AddressBookEntries.h"
#include "platform/mapi/provider/ProviderProp.h"

namespace mapi {
namespace {

bool SameText(std::u16string_view a, std::u16string_view b)
{
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

std::u16string TextOf(const SPropValue& value)
{
    if (PROP_TYPE(value.ulPropTag) == PT_UNICODE)
        return value.Value.lpszW == nullptr ? std::u16string() : std::u16string(value.Value.lpszW);
    if (PROP_TYPE(value.ulPropTag) == PT_STRING8)
        return value.Value.lpszA == nullptr ? std::u16string() : AnsiToUtf16(value.Value.lpszA);
    return {};
}

std::u16string TextArgument(LPTSTR text, ULONG flags)
{
    if (text == nullptr)
        return {};
    if ((flags & MAPI_UNICODE) != 0)
        return std::u16string(reinterpret_cast<LPCWSTR>(text));
    return AnsiToUtf16(text);
}

// Replaces an address entry's values: the `tags` first, in their order, from `values` (or, where
// `values` lacks one, from the entry itself), then the entry's other values. The old values are
// freed, as MAPI's recipient lists own their values one buffer per entry.
HRESULT RebuildEntry(ADRENTRY& entry, std::span<const ULONG> tags, const PropertyBag& values)
{
    std::span<const SPropValue> old(entry.rgPropVals, entry.rgPropVals == nullptr ? 0 : entry.cValues);
    std::vector<const SPropValue*> others;
    for (const SPropValue& value : old) {
        bool wanted = std::any_of(tags.begin(), tags.end(), [&](ULONG tag) { return PROP_ID(tag) == PROP_ID(value.ulPropTag); });
        if (!wanted)
            others.push_back(&value);
    }
    std::size_t count = tags.size() + others.size();
    void* buffer = nullptr;
    SCODE status = MAPIAllocateBuffer(static_cast<ULONG>(std::max<std::size_t>(count, 1) * sizeof(SPropValue)), &buffer);
    if (status != S_OK)
        return status;
    auto* answers = static_cast<LPSPropValue>(buffer);
    ChainAllocator allocator(MAPIAllocateMore, buffer);
    std::size_t next = 0;
    for (ULONG tag : tags) {
        const SPropValue* stored = values.Find(tag);
        if (stored == nullptr)
            stored = FindById(old, tag);
        if (stored != nullptr && PROP_TYPE(tag) == PT_UNSPECIFIED)
            tag = CHANGE_PROP_TYPE(tag, PROP_TYPE(stored->ulPropTag));
        status = AnswerValue(stored, tag, answers[next++], allocator);
        if (FAILED(status)) {
            MAPIFreeBuffer(buffer);
            return status;
        }
    }
    for (const SPropValue* value : others) {
        status = CopyValue(answers[next++], *value, allocator);
        if (status != S_OK) {
            MAPIFreeBuffer(buffer);
            return status;
        }
    }
    MAPIFreeBuffer(entry.rgPropVals);
    entry.rgPropVals = answers;
    entry.cValues = static_cast<ULONG>(count);
    return S_OK;
}

class AddressBook final : public ProviderProp<IAddrBook> {
public:
    explicit AddressBook(OrgContextPointer context)
        : ProviderProp(context->addressBookNames, {}), context_(std::move(context))
    {
    }

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override
    {
        return QueryFor(riid, ppvObj, {&IID_IUnknown, &IID_IMAPIProp, &IID_IAddrBook});
    }

    HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType,
                      LPUNKNOWN* lppUnk) override
    {
        return OpenAddressBookEntry(context_, cbEntryID, lpEntryID, lpInterface, ulFlags, lpulObjType, lppUnk);
    }

    HRESULT CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2, LPENTRYID lpEntryID2, ULONG,
                            ULONG* lpulResult) override
    {
        if (lpulResult == nullptr || (cbEntryID1 > 0 && lpEntryID1 == nullptr) || (cbEntryID2 > 0 && lpEntryID2 == nullptr))
            return MAPI_E_INVALID_PARAMETER;
        return Guard([&]() -> HRESULT {
            std::span<const BYTE> first = AsBytes(cbEntryID1, lpEntryID1);
            std::span<const BYTE> second = AsBytes(cbEntryID2, lpEntryID2);
            std::optional<AddressBookTarget> a = FindAddressBookTarget(*context_, first);
            std::optional<AddressBookTarget> b = FindAddressBookTarget(*context_, second);
            if (!a || !b)
                return MAPI_E_UNKNOWN_ENTRYID;
            *lpulResult = Same(*a, *b) ? TRUE : FALSE;
            return S_OK;
        });
    }

    HRESULT Advise(ULONG, LPENTRYID, ULONG, LPMAPIADVISESINK, ULONG*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT Unadvise(ULONG) override { return MAPI_E_NO_SUPPORT; }

    HRESULT CreateOneOff(LPTSTR lpszName, LPTSTR lpszAdrType, LPTSTR lpszAddress, ULONG ulFlags, ULONG* lpcbEntryID,
                         LPENTRYID* lppEntryID) override
    {
        if (lpcbEntryID == nullptr || lppEntryID == nullptr || lpszAdrType == nullptr || lpszAddress == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppEntryID = nullptr;
        return Guard([&]() -> HRESULT {
            OneOffAddress address;
            address.displayName = TextArgument(lpszName, ulFlags);
            address.addressType = TextArgument(lpszAdrType, ulFlags);
            address.address = TextArgument(lpszAddress, ulFlags);
            address.unicode = (ulFlags & MAPI_UNICODE) != 0;
            address.noRichInfo = (ulFlags & MAPI_SEND_NO_RICH_INFO) != 0;
            return NewEntryId(MakeOneOff(address), lpcbEntryID, lppEntryID);
        });
    }

    HRESULT NewEntry(ULONG_PTR, ULONG, ULONG, LPENTRYID, ULONG, LPENTRYID, ULONG*, LPENTRYID*) override
    {
        return MAPI_E_NO_SUPPORT;
    }

    // Each entry without an entry identifier is looked up by its display name, which may also be
    // an account, an SMTP address or an Exchange DN; the first entry that cannot be resolved fails
    // the call, as no dialog can ask.
    HRESULT ResolveName(ULONG_PTR, ULONG ulFlags, LPTSTR, LPADRLIST lpAdrList) override
    {
        if (lpAdrList == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        return Guard([&]() -> HRESULT {
            std::vector<ULONG> tags = {PR_DISPLAY_NAME_W, PR_ADDRTYPE_W, PR_EMAIL_ADDRESS_W, PR_ENTRYID, PR_SEARCH_KEY,
                                       PR_OBJECT_TYPE, PR_DISPLAY_TYPE, PR_SMTP_ADDRESS_W};
            for (ULONG& tag : tags)
                tag = CHANGE_PROP_TYPE(tag, StringFormForFlags(PROP_TYPE(tag), ulFlags));
            for (ULONG i = 0; i < lpAdrList->cEntries; ++i) {
                ADRENTRY& entry = lpAdrList->aEntries[i];
                std::span<const SPropValue> values(entry.rgPropVals, entry.rgPropVals == nullptr ? 0 : entry.cValues);
                const SPropValue* entryId = FindById(values, PR_ENTRYID);
                if (entryId != nullptr && entryId->ulPropTag == PR_ENTRYID)
                    continue;
                const SPropValue* name = FindById(values, PR_DISPLAY_NAME_W);
                if (name == nullptr)
                    return MAPI_E_INVALID_PARAMETER;
                std::size_t found = 0;
                HRESULT status = FindByName(TextOf(*name), found);
                if (FAILED(status))
                    return status;
                status = RebuildEntry(entry, tags, context_->galValues[found]);
                if (FAILED(status))
                    return status;
            }
            return S_OK;
        });
    }

    HRESULT Address(ULONG_PTR*, LPADRPARM, LPADRLIST*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT Details(ULONG_PTR*, LPFNDISMISS, LPVOID, ULONG, LPENTRYID, LPFNBUTTON, LPVOID, LPTSTR, ULONG) override
    {
        return MAPI_E_NO_SUPPORT;
    }
    HRESULT RecipOptions(ULONG_PTR, ULONG, LPADRENTRY) override { return MAPI_E_NO_SUPPORT; }
    HRESULT QueryDefaultRecipOpt(LPTSTR, ULONG, ULONG*, LPSPropValue*) override { return MAPI_E_NO_SUPPORT; }

    HRESULT GetPAB(ULONG* lpcbEntryID, LPENTRYID* lppEntryID) override
    {
        if (lpcbEntryID != nullptr)
            *lpcbEntryID = 0;
        if (lppEntryID != nullptr)
            *lppEntryID = nullptr;
        return MAPI_E_NOT_FOUND;
    }
    HRESULT SetPAB(ULONG, LPENTRYID) override { return MAPI_E_NO_SUPPORT; }

    HRESULT GetDefaultDir(ULONG* lpcbEntryID, LPENTRYID* lppEntryID) override
    {
        if (lpcbEntryID == nullptr || lppEntryID == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppEntryID = nullptr;
        return Guard([&] { return NewEntryId(context_->Org().galEntryId, lpcbEntryID, lppEntryID); });
    }
    HRESULT SetDefaultDir(ULONG, LPENTRYID) override { return MAPI_E_NO_SUPPORT; }
    HRESULT GetSearchPath(ULONG, LPSRowSet* lppSearchPath) override
    {
        if (lppSearchPath != nullptr)
            *lppSearchPath = nullptr;
        return MAPI_E_NO_SUPPORT;
    }
    HRESULT SetSearchPath(ULONG, LPSRowSet) override { return MAPI_E_NO_SUPPORT; }

    // Fills the asked-for columns of every entry from the entry its PR_ENTRYID names. Entries
    // without an entry identifier, or with one that names nothing known, are left as they are.
    HRESULT PrepareRecips(ULONG, LPSPropTagArray lpPropTagArray, LPADRLIST lpRecipList) override
    {
        if (lpRecipList == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        if (lpPropTagArray == nullptr)
            return S_OK;
        return Guard([&]() -> HRESULT {
            std::span<const ULONG> tags(lpPropTagArray->aulPropTag, lpPropTagArray->cValues);
            for (ULONG i = 0; i < lpRecipList->cEntries; ++i) {
                ADRENTRY& entry = lpRecipList->aEntries[i];
                std::span<const SPropValue> values(entry.rgPropVals, entry.rgPropVals == nullptr ? 0 : entry.cValues);
                const SPropValue* entryId = FindById(values, PR_ENTRYID);
                if (entryId == nullptr || entryId->ulPropTag != PR_ENTRYID)
                    continue;
                std::optional<AddressBookTarget> target =
                    FindAddressBookTarget(*context_, std::span<const BYTE>(entryId->Value.bin.lpb, entryId->Value.bin.cb));
                if (!target || (target->kind != AddressBookTarget::Kind::Entry && target->kind != AddressBookTarget::Kind::OneOff))
                    continue;
                HRESULT status = RebuildEntry(entry, tags, TargetValues(*context_, *target));
                if (FAILED(status))
                    return status;
            }
            return S_OK;
        });
    }

private:
    static bool Same(const AddressBookTarget& a, const AddressBookTarget& b)
    {
        if (a.kind != b.kind)
            return false;
        switch (a.kind) {
        case AddressBookTarget::Kind::Entry: return a.galIndex == b.galIndex;
        case AddressBookTarget::Kind::OneOff:
            return SameText(a.oneOff.addressType, b.oneOff.addressType) && SameText(a.oneOff.address, b.oneOff.address);
        default: return true;
        }
    }

    HRESULT FindByName(const std::u16string& name, std::size_t& found) const
    {
        std::size_t matches = 0;
        for (std::size_t i = 0; i < context_->galValues.size(); ++i) {
            for (ULONG tag : {PR_DISPLAY_NAME_W, PR_ACCOUNT_W, PR_SMTP_ADDRESS_W, PR_EMAIL_ADDRESS_W}) {
                const SPropValue* value = context_->galValues[i].Find(tag);
                if (value != nullptr && SameText(TextOf(*value), name)) {
                    found = i;
                    ++matches;
                    break;
                }
            }
        }
        if (matches == 0)
            return MAPI_E_NOT_FOUND;
        return matches == 1 ? S_OK : MAPI_E_AMBIGUOUS_RECIP;
    }

    OrgContextPointer context_;
};

} // namespace

HRESULT CreateAddressBook(OrgContextPointer context, LPADRBOOK* result)
{
    return Guard([&]() -> HRESULT {
        *result = new AddressBook(std::move(context));
        return S_OK;
    });
}

} // namespace mapi
