// Reading the special folders' entry identifiers and matching folders against them.
#include "ex2qln/transfer/SpecialFolders.h"

#include "ex2qln/diag/Log.h"

#include <MapiPtr.h>
#include <mapitags.h>

#include <array>

namespace ex2qln::transfer {
namespace {

struct SpecialUse {
    ULONG tag;
    std::string_view use;
};

constexpr std::array<SpecialUse, 2> kOnStore = {{{PR_IPM_SENTMAIL_ENTRYID, "\\Sent"},
                                                 {PR_IPM_WASTEBASKET_ENTRYID, "\\Trash"}}};
constexpr std::array<SpecialUse, 1> kOnRoot = {{{PR_IPM_DRAFTS_ENTRYID, "\\Drafts"}}};

template <std::size_t Count>
void ReadIds(IMAPIProp* object, const std::array<SpecialUse, Count>& uses,
             std::vector<std::pair<std::vector<BYTE>, std::string_view>>& folders)
{
    if (object == nullptr)
        return;
    SizedSPropTagArray(Count, tags) = {Count, {}};
    for (std::size_t i = 0; i < Count; ++i)
        tags.aulPropTag[i] = uses[i].tag;
    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    if (FAILED(QLN_CHECK(object->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.put()))) ||
        count != Count)
        return;
    for (std::size_t i = 0; i < Count; ++i) {
        if (values[i].ulPropTag != uses[i].tag)
            continue;
        const SBinary& id = values[i].Value.bin;
        folders.emplace_back(std::vector<BYTE>(id.lpb, id.lpb + id.cb), uses[i].use);
    }
}

} // namespace

void SpecialFolders::Load(IMsgStore* store)
{
    folders_.clear();
    ReadIds(store, kOnStore, folders_);
    MapiPtr<IMAPIFolder> root;
    ULONG type = 0;
    if (SUCCEEDED(QLN_CHECK(store->OpenEntry(0, nullptr, nullptr, 0, &type, root.put_unknown()))))
        ReadIds(root.get(), kOnRoot, folders_);
}

std::string_view SpecialFolders::UseOf(IMsgStore* store, const SBinary& entryId) const
{
    for (const auto& [id, use] : folders_) {
        ULONG same = FALSE;
        const HRESULT status =
            store->CompareEntryIDs(entryId.cb, reinterpret_cast<LPENTRYID>(entryId.lpb), static_cast<ULONG>(id.size()),
                                   reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(id.data())), 0, &same);
        if (SUCCEEDED(status) && same != FALSE)
            return use;
    }
    return {};
}

} // namespace ex2qln::transfer
