// What the organisation benchmark measures inside one process: a logon to an organisation and a
// walk of every mailbox of its Global Address List, folder by folder.
#pragma once

#include <mapidefs.h>

#include <cstddef>
#include <string>

namespace bench {

enum class WalkKind {
    ContentsTables,  // every contents table (messages and hidden items) read row by row with its default columns
    OpenMessages,    // every message opened through its store, one after another, and released
};

struct WalkCounts {
    std::size_t mailboxes = 0;
    std::size_t folders = 0;
    std::size_t rows = 0;      // contents-table rows read
    std::size_t messages = 0;  // messages opened
};

// Logs on to the organisation file and walks it; on failure `error` says which step failed.
HRESULT WalkOrganisation(const std::string& organisation, WalkKind kind, WalkCounts& counts, std::string& error);

} // namespace bench
