// The address book's containers and entries over the organisation's Global Address List.
#include "platform/mapi/provider/AddressBookEntries.h"

#include <mapitags.h>

#include <new>

#include "platform/mapi/core/StringForms.h"
#include "platform/mapi/provider/ProviderProp.h"
#include "platform/mapi/provider/ProviderTable.h"

namespace mapi {
namespace {

constexpr char16_t kGalName[] = u"Global Address List";

// Stores a value in a bag; only memory can run out.
void Put(PropertyBag& bag, const SPropValue& value)
{
    if (bag.Set(value) != S_OK)
        throw std::bad_alloc();
}

PropertyBag GalContainerValues(const OrgContext& context)
{
    PropertyBag bag;
    RowValues values;
    const org::EntryId& entryId = context.Org().galEntryId;
    org::EntryId provider(16);
    platform::cfb::Guid uid = org::AddressBookProviderUid();
    std::copy(uid.begin(), uid.end(), provider.begin());
    Put(bag, values.Binary(PR_ENTRYID, entryId));
    Put(bag, values.Binary(PR_RECORD_KEY, entryId));
    Put(bag, values.Unicode(PR_DISPLAY_NAME_W, kGalName));
    Put(bag, values.Long(PR_OBJECT_TYPE, MAPI_ABCONT));
    Put(bag, values.Long(PR_DISPLAY_TYPE, static_cast<LONG>(DT_GLOBAL)));
    Put(bag, values.Long(PR_CONTAINER_FLAGS, AB_RECIPIENTS | AB_UNMODIFIABLE));
    Put(bag, values.Binary(PR_AB_PROVIDER_ID, provider));
    Put(bag, values.Long(PR_EMS_AB_CONTAINERID, 0));
    return bag;
}

PropertyBag RootContainerValues()
{
    PropertyBag bag;
    RowValues values;
    Put(bag, values.Long(PR_OBJECT_TYPE, MAPI_ABCONT));
    Put(bag, values.Long(PR_CONTAINER_FLAGS, AB_SUBCONTAINERS | AB_UNMODIFIABLE));
    Put(bag, values.Unicode(PR_DISPLAY_NAME_W, u""));
    return bag;
}

PropertyBag OneOffValues(const OneOffAddress& address, std::span<const BYTE> entryId)
{
    PropertyBag bag;
    RowValues values;
    Put(bag, values.Binary(PR_ENTRYID, entryId));
    Put(bag, values.Binary(PR_RECORD_KEY, entryId));
    Put(bag, values.Unicode(PR_DISPLAY_NAME_W, address.displayName));
    Put(bag, values.Unicode(PR_ADDRTYPE_W, address.addressType));
    Put(bag, values.Unicode(PR_EMAIL_ADDRESS_W, address.address));
    Put(bag, values.Binary(PR_SEARCH_KEY, SearchKey(address.addressType, address.address)));
    Put(bag, values.Long(PR_OBJECT_TYPE, MAPI_MAILUSER));
    Put(bag, values.Long(PR_DISPLAY_TYPE, DT_MAILUSER));
    Put(bag, values.Boolean(PR_SEND_RICH_INFO, !address.noRichInfo));
    return bag;
}

// The rows of GAL entries: each entry's values and a key of its position in the table.
HRESULT EntryTable(const OrgContext& context, std::span<const std::size_t> entries, ULONG flags, LPMAPITABLE* result)
{
    RowValues keys;
    std::vector<std::vector<SPropValue>> rows;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        std::vector<SPropValue> row = context.galValues[entries[i]].Values();
        row.push_back(keys.InstanceKey(static_cast<ULONG>(i)));
        rows.push_back(std::move(row));
    }
    std::vector<ULONG> columns = ColumnsForFlags({PR_INSTANCE_KEY, PR_ENTRYID, PR_DISPLAY_NAME_W, PR_ADDRTYPE_W,
                                                  PR_EMAIL_ADDRESS_W, PR_SMTP_ADDRESS_W, PR_ACCOUNT_W, PR_DISPLAY_TYPE,
                                                  PR_OBJECT_TYPE},
                                                 flags);
    return MakeTable(PR_INSTANCE_KEY, columns, rows, result);
}

// The shared part of the address book's containers: opening entries, refusing changes.
template <typename Interface>
class AbContainerBase : public ProviderProp<Interface> {
public:
    HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType,
                      LPUNKNOWN* lppUnk) override
    {
        return OpenAddressBookEntry(context_, cbEntryID, lpEntryID, lpInterface, ulFlags, lpulObjType, lppUnk);
    }
    HRESULT SetSearchCriteria(LPSRestriction, LPENTRYLIST, ULONG) override { return MAPI_E_NO_SUPPORT; }
    HRESULT GetSearchCriteria(ULONG, LPSRestriction*, LPENTRYLIST*, ULONG*) override { return MAPI_E_NO_SUPPORT; }
    HRESULT CreateEntry(ULONG, LPENTRYID, ULONG, LPMAPIPROP* lppMAPIPropEntry) override
    {
        if (lppMAPIPropEntry != nullptr)
            *lppMAPIPropEntry = nullptr;
        return MAPI_E_NO_SUPPORT;
    }
    HRESULT CopyEntries(LPENTRYLIST, ULONG_PTR, LPMAPIPROGRESS, ULONG) override { return MAPI_E_NO_SUPPORT; }
    HRESULT DeleteEntries(LPENTRYLIST, ULONG) override { return MAPI_E_NO_SUPPORT; }
    HRESULT ResolveNames(LPSPropTagArray, ULONG, LPADRLIST, LPFlagList) override { return MAPI_E_NO_SUPPORT; }

protected:
    AbContainerBase(OrgContextPointer context, PropertyBag values)
        : ProviderProp<Interface>(context->addressBookNames, std::move(values)), context_(std::move(context))
    {
    }

    HRESULT OpenTable(ULONG tag, ULONG flags, LPMAPITABLE* result) override
    {
        if (PROP_ID(tag) == PROP_ID(PR_CONTAINER_CONTENTS))
            return this->GetContentsTable(flags & MAPI_UNICODE, result);
        if (PROP_ID(tag) == PROP_ID(PR_CONTAINER_HIERARCHY))
            return this->GetHierarchyTable(flags & MAPI_UNICODE, result);
        return MAPI_E_NO_SUPPORT;
    }

    OrgContextPointer context_;
};

// The root container (its hierarchy holds the Global Address List) or the Global Address List
// (its contents are the GAL's entries).
class AbContainer final : public AbContainerBase<IABContainer> {
public:
    AbContainer(OrgContextPointer context, bool root)
        : AbContainerBase(context, root ? RootContainerValues() : GalContainerValues(*context)), root_(root)
    {
    }

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override
    {
        return QueryFor(riid, ppvObj, {&IID_IUnknown, &IID_IMAPIProp, &IID_IMAPIContainer, &IID_IABContainer});
    }

    HRESULT GetContentsTable(ULONG ulFlags, LPMAPITABLE* lppTable) override
    {
        if (lppTable == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppTable = nullptr;
        return Guard([&]() -> HRESULT {
            std::vector<std::size_t> entries;
            if (!root_) {
                for (std::size_t i = 0; i < context_->Org().gal.size(); ++i)
                    entries.push_back(i);
            }
            return EntryTable(*context_, entries, ulFlags, lppTable);
        });
    }

    HRESULT GetHierarchyTable(ULONG ulFlags, LPMAPITABLE* lppTable) override
    {
        if (lppTable == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppTable = nullptr;
        return Guard([&]() -> HRESULT {
            std::vector<std::vector<SPropValue>> rows;
            RowValues extra;
            PropertyBag gal;
            if (root_) {
                gal = GalContainerValues(*context_);
                std::vector<SPropValue> row = gal.Values();
                row.push_back(extra.InstanceKey(0));
                row.push_back(extra.Long(PR_DEPTH, 0));
                rows.push_back(std::move(row));
            }
            std::vector<ULONG> columns = ColumnsForFlags({PR_INSTANCE_KEY, PR_ENTRYID, PR_DISPLAY_NAME_W, PR_OBJECT_TYPE,
                                                          PR_DISPLAY_TYPE, PR_CONTAINER_FLAGS, PR_DEPTH, PR_AB_PROVIDER_ID,
                                                          PR_EMS_AB_CONTAINERID},
                                                         ulFlags);
            return MakeTable(PR_INSTANCE_KEY, columns, rows, lppTable);
        });
    }

private:
    bool root_;
};

class DistList final : public AbContainerBase<IDistList> {
public:
    DistList(OrgContextPointer context, std::size_t index)
        : AbContainerBase(context, context->galValues[index]), index_(index)
    {
    }

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override
    {
        return QueryFor(riid, ppvObj, {&IID_IUnknown, &IID_IMAPIProp, &IID_IMAPIContainer, &IID_IDistList});
    }

    // The members, each with its own values; a nested list is a member like any other.
    HRESULT GetContentsTable(ULONG ulFlags, LPMAPITABLE* lppTable) override
    {
        if (lppTable == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppTable = nullptr;
        return Guard([&] { return EntryTable(*context_, context_->Org().gal[index_].members, ulFlags, lppTable); });
    }

    HRESULT GetHierarchyTable(ULONG, LPMAPITABLE* lppTable) override
    {
        if (lppTable != nullptr)
            *lppTable = nullptr;
        return MAPI_E_NO_SUPPORT;
    }

private:
    std::size_t index_;
};

class MailUser final : public ProviderProp<IMailUser> {
public:
    MailUser(std::shared_ptr<NamedPropertyMap> names, PropertyBag values) : ProviderProp(std::move(names), std::move(values)) {}

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override
    {
        return QueryFor(riid, ppvObj, {&IID_IUnknown, &IID_IMAPIProp, &IID_IMailUser});
    }
};

} // namespace

std::optional<AddressBookTarget> FindAddressBookTarget(const OrgContext& context, std::span<const BYTE> entryId)
{
    AddressBookTarget target;
    if (entryId.empty())
        return target;
    if (std::optional<OneOffAddress> oneOff = ParseOneOff(entryId)) {
        if (oneOff->addressType == u"EX") {
            std::string dn = Utf16ToAnsi(oneOff->address);
            if (std::optional<std::size_t> index = context.Org().FindGalEntryByDn(dn)) {
                target.kind = AddressBookTarget::Kind::Entry;
                target.galIndex = *index;
                return target;
            }
        }
        target.kind = AddressBookTarget::Kind::OneOff;
        target.oneOff = std::move(*oneOff);
        return target;
    }
    std::optional<org::ObjectLocation> location = context.Org().Locate(entryId);
    if (!location || location->kind != org::EntryIdKind::AddressBook)
        return std::nullopt;
    if (location->galIndex >= context.Org().gal.size()) {
        target.kind = AddressBookTarget::Kind::Gal;
        return target;
    }
    target.kind = AddressBookTarget::Kind::Entry;
    target.galIndex = location->galIndex;
    return target;
}

PropertyBag TargetValues(const OrgContext& context, const AddressBookTarget& target)
{
    switch (target.kind) {
    case AddressBookTarget::Kind::Entry: return context.galValues[target.galIndex];
    case AddressBookTarget::Kind::OneOff: {
        std::vector<BYTE> entryId = MakeOneOff(target.oneOff);
        return OneOffValues(target.oneOff, entryId);
    }
    default: return {};
    }
}

HRESULT OpenAddressBookEntry(const OrgContextPointer& context, ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface,
                             ULONG, ULONG* lpulObjType, LPUNKNOWN* lppUnk)
{
    if (lppUnk == nullptr || (cbEntryID > 0 && lpEntryID == nullptr))
        return MAPI_E_INVALID_PARAMETER;
    *lppUnk = nullptr;
    return Guard([&]() -> HRESULT {
        std::span<const BYTE> entryId = AsBytes(cbEntryID, lpEntryID);
        std::optional<AddressBookTarget> target = FindAddressBookTarget(*context, entryId);
        if (!target)
            return MAPI_E_UNKNOWN_ENTRYID;
        switch (target->kind) {
        case AddressBookTarget::Kind::Root:
            return HandOut(new AbContainer(context, true), lpInterface, MAPI_ABCONT, lpulObjType, lppUnk);
        case AddressBookTarget::Kind::Gal:
            return HandOut(new AbContainer(context, false), lpInterface, MAPI_ABCONT, lpulObjType, lppUnk);
        case AddressBookTarget::Kind::OneOff:
            return HandOut(new MailUser(context->addressBookNames, OneOffValues(target->oneOff, entryId)), lpInterface,
                           MAPI_MAILUSER, lpulObjType, lppUnk);
        case AddressBookTarget::Kind::Entry: break;
        }
        const org::GalEntry& entry = context->Org().gal[target->galIndex];
        if (entry.kind != org::GalEntryKind::DistList)
            return HandOut(new MailUser(context->addressBookNames, context->galValues[target->galIndex]), lpInterface,
                           MAPI_MAILUSER, lpulObjType, lppUnk);
        if (entry.openFails)
            return MAPI_E_NO_ACCESS;
        return HandOut(new DistList(context, target->galIndex), lpInterface, MAPI_DISTLIST, lpulObjType, lppUnk);
    });
}

} // namespace mapi
