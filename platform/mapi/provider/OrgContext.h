// What every object of one logon shares: the organisation read from its file, the values of its
// GAL entries, each store's named-property map, and the mailbox the session is logged on to.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/orgsource/Organisation.h"

#include "platform/mapi/core/NamedPropertyMap.h"
#include "platform/mapi/core/PropertyBag.h"

namespace mapi {

namespace org = platform::orgsource;

struct OrgContext {
    std::shared_ptr<const org::Organisation> organisation;
    std::optional<std::size_t> mailbox;  // the store index of the logged-on mailbox, if any
    std::vector<PropertyBag> galValues;  // by GAL index
    // Named properties per store: the store's map, and which of its ids the model's ids became.
    std::vector<std::shared_ptr<NamedPropertyMap>> storeNames;
    std::vector<std::map<std::uint16_t, ULONG>> storeNamedIds;
    std::shared_ptr<NamedPropertyMap> addressBookNames;

    static HRESULT Create(std::shared_ptr<const org::Organisation> organisation, std::optional<std::size_t> mailbox,
                          std::shared_ptr<const OrgContext>& result);

    const org::Organisation& Org() const { return *organisation; }
};

using OrgContextPointer = std::shared_ptr<const OrgContext>;

inline std::span<const BYTE> AsBytes(ULONG size, const ENTRYID* entryId)
{
    return entryId == nullptr ? std::span<const BYTE>() : std::span<const BYTE>(reinterpret_cast<const BYTE*>(entryId), size);
}

} // namespace mapi
