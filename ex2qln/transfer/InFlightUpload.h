// The server's side of the journal: the highest UID a folder holds before an upload, and the
// look-up of an upload that a stopped run left uncertain.
#pragma once

#include "ex2qln/imap/ImapXP.h"
#include "ex2qln/journal/TransferJournal.h"
#include "platform/base/HResult.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace ex2qln::transfer {

// Selects `folder` (an IMAP path) and gives the UID below its next one: every message it holds
// has at most this UID. The caller holds the client's command lock.
HRESULT HighestUid(imap::CImapXP& client, std::string_view folder, std::uint32_t& uid);

// Selects `folder` and looks for the message that `pending` announced: one with a UID above
// `pending.afterUid`, not among the UIDs `state` recorded for the folder, and of exactly
// `pending.size` bytes. `uid` receives its UID, or nothing when the folder holds no such message
// (the upload did not reach the server).
HRESULT FindPendingUpload(imap::CImapXP& client, std::string_view folder, const journal::PendingUpload& pending,
                          const journal::JournalState& state, std::optional<std::uint32_t>& uid);

} // namespace ex2qln::transfer
