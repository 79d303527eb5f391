// The special folders of a mailbox (sent items, deleted items, drafts) and the RFC 6154 attribute
// each gets on a server that takes CREATE-SPECIAL-USE.
#pragma once

#include <mapidefs.h>

#include <string_view>
#include <utility>
#include <vector>

namespace ex2qln::transfer {

class SpecialFolders {
public:
    // Reads where they are: sent and deleted items from the store, drafts from its root folder.
    // What cannot be read only leaves that folder without its attribute.
    void Load(IMsgStore* store);

    // The attribute ("\\Sent", "\\Trash", "\\Drafts") of the folder `entryId` names; empty for
    // any other folder.
    std::string_view UseOf(IMsgStore* store, const SBinary& entryId) const;

private:
    std::vector<std::pair<std::vector<BYTE>, std::string_view>> folders_;
};

} // namespace ex2qln::transfer
