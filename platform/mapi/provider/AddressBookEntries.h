// The objects of the address book: its root container, the Global Address List, mail users,
// distribution lists and one-off addresses, and what an address-book entry identifier names.
#pragma once

#include <optional>

#include "platform/mapi/provider/OneOffEntryId.h"
#include "platform/mapi/provider/OrgContext.h"

namespace mapi {

struct AddressBookTarget {
    enum class Kind { Root, Gal, Entry, OneOff };
    Kind kind = Kind::Root;
    std::size_t galIndex = 0;  // Entry
    OneOffAddress oneOff;      // OneOff
};

// No identifier names the root container. An "EX" one-off whose DN is in the GAL names that entry.
std::optional<AddressBookTarget> FindAddressBookTarget(const OrgContext& context, std::span<const BYTE> entryId);

// The values of a GAL entry or of a one-off address (the containers have none here).
PropertyBag TargetValues(const OrgContext& context, const AddressBookTarget& target);

// OpenEntry of the address book and of its containers. A list marked to fail opening answers
// MAPI_E_NO_ACCESS.
HRESULT OpenAddressBookEntry(const OrgContextPointer& context, ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface,
                             ULONG ulFlags, ULONG* lpulObjType, LPUNKNOWN* lppUnk);

} // namespace mapi
