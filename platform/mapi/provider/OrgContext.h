// What every object of one logon shares: the organisation read from its file, the values of its
// GAL entries, each store's named-property map, the mailbox the session is logged on to, and the
// unread counts of the folders asked for so far.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
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
    // Named properties per store: the store's map (messages add their names as they are read), and
    // which of its ids the ids of the folders' model became.
    std::vector<std::shared_ptr<NamedPropertyMap>> storeNames;
    std::vector<std::map<std::uint16_t, ULONG>> storeNamedIds;
    std::shared_ptr<NamedPropertyMap> addressBookNames;

    static HRESULT Create(std::shared_ptr<const org::Organisation> organisation, std::optional<std::size_t> mailbox,
                          std::shared_ptr<const OrgContext>& result);

    const org::Organisation& Org() const { return *organisation; }

    // PR_CONTENT_UNREAD of the folder at `location`, which needs every message of the folder read:
    // worked out when first asked for, then kept.
    LONG UnreadMessages(const org::ObjectLocation& location) const;

private:
    mutable std::mutex unreadMutex_;
    mutable std::map<std::pair<std::size_t, std::uint64_t>, LONG> unread_;  // by store and folder counter
};

using OrgContextPointer = std::shared_ptr<const OrgContext>;

inline std::span<const BYTE> AsBytes(ULONG size, const ENTRYID* entryId)
{
    return entryId == nullptr ? std::span<const BYTE>() : std::span<const BYTE>(reinterpret_cast<const BYTE*>(entryId), size);
}

} // namespace mapi
