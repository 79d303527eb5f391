// What an IMAP server offers the transfer: Quillon's own extensions, or standard IMAP with the
// standard extensions that stand in for them.
#pragma once

#include "ex2qln/imap/ImapRecords.h"

#include <string_view>

namespace ex2qln::imap {

struct ServerFeatures {
    // ENABLE EXTENSIONS took effect: LIST (CLASS), SETCLASS and GETMAILTRAILER may be used.
    bool extensions = false;
    // Without them, from CAPABILITY: METADATA (RFC 5464) and CREATE-SPECIAL-USE (RFC 6154).
    bool metadata = false;
    bool createSpecialUse = false;
};

// Whether ENABLE EXTENSIONS took effect: the tagged reply is OK and an ENABLED line names
// EXTENSIONS. A standard server refuses the command or, knowing no such extension, enables nothing.
bool ExtensionsEnabled(ULONG taggedKind, const ImapRecords& enabledLines);

// Adds what the words of a CAPABILITY line (in any letter case) offer to `features`.
void AddCapabilities(std::string_view words, ServerFeatures& features);

} // namespace ex2qln::imap
