// The test GAL: rows built into the runtime's CreateTable tables, and a container over them.
#include "tests/ex2qln/directory/FakeGal.h"

#include <mapicode.h>
#include <mapiguid.h>
#include <mapiutil.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <set>

namespace directorytest {
namespace {

const std::string kDnPrefix = "/o=Test/ou=First Administrative Group/cn=Recipients/cn=";
const std::string kHomeDatabase = "/o=Test/ou=First Administrative Group/cn=Configuration/cn=Servers/cn=MAIL1/cn=Microsoft Private MDB";

Entry Merged(Entry base, const Entry& extra)
{
    for (const Prop& prop : extra) {
        auto same = std::ranges::find_if(base, [&](const Prop& old) { return old.tag == prop.tag; });
        if (same != base.end())
            *same = prop;
        else
            base.push_back(prop);
    }
    return base;
}

// Keeps the memory that SPropValues point into for as long as a row is being added.
class RowBuilder {
public:
    void Add(ULONG tag, const Value& value)
    {
        SPropValue prop{};
        prop.ulPropTag = tag;
        std::visit([&](const auto& data) { Fill(prop, data); }, value);
        values_.push_back(prop);
    }
    std::vector<SPropValue>& Values() { return values_; }

private:
    void Fill(SPropValue& prop, const std::string& text) { prop.Value.lpszA = Keep(text); }
    void Fill(SPropValue& prop, LONG number) { prop.Value.l = number; }
    void Fill(SPropValue& prop, short number) { prop.Value.i = number; }
    void Fill(SPropValue& prop, bool flag) { prop.Value.b = flag; }
    void Fill(SPropValue& prop, const Bytes& bytes) { prop.Value.bin = KeepBinary(bytes); }
    void Fill(SPropValue& prop, const std::vector<std::string>& texts)
    {
        auto& pointers = pointerArrays_.emplace_back();
        for (const std::string& text : texts)
            pointers.push_back(Keep(text));
        prop.Value.MVszA = {static_cast<ULONG>(pointers.size()), pointers.data()};
    }
    void Fill(SPropValue& prop, const std::vector<LONG>& numbers)
    {
        auto& kept = longArrays_.emplace_back(numbers);
        prop.Value.MVl = {static_cast<ULONG>(kept.size()), kept.data()};
    }
    void Fill(SPropValue& prop, const std::vector<Bytes>& values)
    {
        auto& kept = binaryArrays_.emplace_back();
        for (const Bytes& bytes : values)
            kept.push_back(KeepBinary(bytes));
        prop.Value.MVbin = {static_cast<ULONG>(kept.size()), kept.data()};
    }
    char* Keep(const std::string& text) { return strings_.emplace_back(text).data(); }
    SBinary KeepBinary(const Bytes& bytes)
    {
        Bytes& kept = bytes_.emplace_back(bytes);
        return SBinary{static_cast<ULONG>(kept.size()), kept.data()};
    }

    std::vector<SPropValue> values_;
    std::deque<std::string> strings_;
    std::deque<Bytes> bytes_;
    std::deque<std::vector<char*>> pointerArrays_;
    std::deque<std::vector<LONG>> longArrays_;
    std::deque<std::vector<SBinary>> binaryArrays_;
};

// A table of the entries, with a PR_ROWID column to tell the rows apart.
HRESULT OpenEntriesTable(const std::vector<Entry>& entries, IMAPITable** table)
{
    std::set<ULONG> tags = {PR_ROWID};
    for (const Entry& entry : entries) {
        for (const Prop& prop : entry)
            tags.insert(prop.tag);
    }
    std::vector<ULONG> columns = {static_cast<ULONG>(tags.size())};
    columns.insert(columns.end(), tags.begin(), tags.end());
    MapiPtr<ITableData> data;
    HRESULT status = CreateTable(nullptr, MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr,
                                 TBLTYPE_DYNAMIC, PR_ROWID, reinterpret_cast<LPSPropTagArray>(columns.data()),
                                 data.put());
    if (FAILED(status))
        return status;
    for (std::size_t index = 0; index < entries.size(); ++index) {
        RowBuilder row;
        row.Add(PR_ROWID, static_cast<LONG>(index));
        for (const Prop& prop : entries[index])
            row.Add(prop.tag, prop.value);
        SRow added{0, static_cast<ULONG>(row.Values().size()), row.Values().data()};
        status = data->HrModifyRow(&added);
        if (FAILED(status))
            return status;
    }
    return data->HrGetView(nullptr, nullptr, 0, table);
}

// The IMAPIProp and container methods the exports never call.
template <typename Interface>
class ContainerBase : public Interface {
public:
    HRESULT QueryInterface(REFIID, LPVOID* object) override
    {
        *object = this;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override
    {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT GetLastError(HRESULT, ULONG, LPMAPIERROR*) override { return E_NOTIMPL; }
    HRESULT SaveChanges(ULONG) override { return E_NOTIMPL; }
    HRESULT GetProps(LPSPropTagArray, ULONG, ULONG*, LPSPropValue*) override { return E_NOTIMPL; }
    HRESULT GetPropList(ULONG, LPSPropTagArray*) override { return E_NOTIMPL; }
    HRESULT OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN*) override { return E_NOTIMPL; }
    HRESULT SetProps(ULONG, LPSPropValue, LPSPropProblemArray*) override { return E_NOTIMPL; }
    HRESULT DeleteProps(LPSPropTagArray, LPSPropProblemArray*) override { return E_NOTIMPL; }
    HRESULT CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                   LPSPropProblemArray*) override
    {
        return E_NOTIMPL;
    }
    HRESULT CopyProps(LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG, LPSPropProblemArray*) override
    {
        return E_NOTIMPL;
    }
    HRESULT GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG*, LPMAPINAMEID**) override { return E_NOTIMPL; }
    HRESULT GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray*) override { return E_NOTIMPL; }
    HRESULT GetHierarchyTable(ULONG, LPMAPITABLE*) override { return E_NOTIMPL; }
    HRESULT OpenEntry(ULONG, LPENTRYID, LPCIID, ULONG, ULONG*, LPUNKNOWN*) override { return E_NOTIMPL; }
    HRESULT SetSearchCriteria(LPSRestriction, LPENTRYLIST, ULONG) override { return E_NOTIMPL; }
    HRESULT GetSearchCriteria(ULONG, LPSRestriction*, LPENTRYLIST*, ULONG*) override { return E_NOTIMPL; }
    HRESULT CreateEntry(ULONG, LPENTRYID, ULONG, LPMAPIPROP*) override { return E_NOTIMPL; }
    HRESULT CopyEntries(LPENTRYLIST, ULONG_PTR, LPMAPIPROGRESS, ULONG) override { return E_NOTIMPL; }
    HRESULT DeleteEntries(LPENTRYLIST, ULONG) override { return E_NOTIMPL; }
    HRESULT ResolveNames(LPSPropTagArray, ULONG, LPADRLIST, LPFlagList) override { return E_NOTIMPL; }

protected:
    virtual ~ContainerBase() = default;

private:
    ULONG references_ = 1;
};

class DistList : public ContainerBase<IDistList> {
public:
    DistList(std::vector<Entry> members, bool tableFails) : members_(std::move(members)), tableFails_(tableFails) {}
    HRESULT GetContentsTable(ULONG, LPMAPITABLE* table) override
    {
        *table = nullptr;
        return tableFails_ ? MAPI_E_NO_SUPPORT : OpenEntriesTable(members_, table);
    }

private:
    std::vector<Entry> members_;
    bool tableFails_;
};

} // namespace

Entry User(const std::string& account, const std::string& smtp, const std::string& displayName, Entry extra)
{
    return Merged({{PR_DISPLAY_TYPE, LONG{DT_MAILUSER}},
                   {PR_ACCOUNT_A, account},
                   {PR_EMS_AB_HOME_MDB_A, kHomeDatabase},
                   {PR_EMAIL_ADDRESS_A, kDnPrefix + account},
                   {PR_SMTP_ADDRESS_A, smtp},
                   {PR_DISPLAY_NAME_A, displayName},
                   {PR_MHS_COMMON_NAME_A, displayName}},
                  extra);
}

Entry Without(Entry entry, ULONG tag)
{
    std::erase_if(entry, [tag](const Prop& prop) { return prop.tag == tag; });
    return entry;
}

Entry Contact(const std::string& commonName, const std::string& smtp, Entry extra)
{
    return Merged({{PR_DISPLAY_TYPE, LONG{DT_REMOTE_MAILUSER}},
                   {PR_EMAIL_ADDRESS_A, kDnPrefix + smtp},
                   {PR_SMTP_ADDRESS_A, smtp},
                   {PR_DISPLAY_NAME_A, commonName},
                   {PR_MHS_COMMON_NAME_A, commonName}},
                  extra);
}

Entry List(const std::string& id, const std::string& smtp, const std::string& displayName, Entry extra)
{
    return Merged({{PR_DISPLAY_TYPE, LONG{DT_DISTLIST}},
                   {PR_ENTRYID, Bytes(id.begin(), id.end())},
                   {PR_EMAIL_ADDRESS_A, kDnPrefix + id},
                   {PR_SMTP_ADDRESS_A, smtp},
                   {PR_DISPLAY_NAME_A, displayName},
                   {PR_MHS_COMMON_NAME_A, displayName}},
                  extra);
}

class FakeGal::GalContainer : public ContainerBase<IABContainer> {
public:
    explicit GalContainer(const FakeGal& gal) : gal_(gal) {}

    HRESULT GetContentsTable(ULONG, LPMAPITABLE* table) override
    {
        *table = nullptr;
        if (FAILED(gal_.contentsTableStatus_))
            return gal_.contentsTableStatus_;
        return OpenEntriesTable(gal_.entries_, table);
    }

    HRESULT OpenEntry(ULONG size, LPENTRYID entryId, LPCIID, ULONG, ULONG* objectType, LPUNKNOWN* object) override
    {
        *object = nullptr;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(entryId);
        const Bytes id(bytes, bytes + size);
        auto members = gal_.members_.find(id);
        auto opening = gal_.openings_.find(id);
        const ListOpening how = opening == gal_.openings_.end() ? ListOpening::kOpens : opening->second;
        if (members == gal_.members_.end() || how == ListOpening::kFails)
            return MAPI_E_NOT_FOUND;
        *objectType = MAPI_DISTLIST;
        *object = new DistList(members->second, how == ListOpening::kTableFails);
        return S_OK;
    }

private:
    const FakeGal& gal_;
};

FakeGal::FakeGal(const std::vector<Entry>& entries) : entries_(entries), container_(new GalContainer(*this)) {}

FakeGal::~FakeGal() { container_->Release(); }

IABContainer* FakeGal::Container() const { return container_; }

void FakeGal::SetMembers(const std::string& listId, const std::vector<Entry>& members)
{
    members_[Bytes(listId.begin(), listId.end())] = members;
}

void FakeGal::SetListOpening(const std::string& listId, ListOpening opening)
{
    openings_[Bytes(listId.begin(), listId.end())] = opening;
}

} // namespace directorytest
