// The accounts command: one server account, with its settings and optionally an alias, per row of
// the accounts file.
#pragma once

#include "platform/base/HResult.h"

#include <mapidefs.h>

#include <string_view>

namespace ex2qln::cli {

// Creates one account per data row of the accounts file at `accountsPath`, with the row's extra
// columns as settings named by the header. With a non-empty `publicFoldersAccount` that account is
// created first (while the header is read). `aliases` adds the Exchange alias as an account alias
// where it differs from the mailbox's local part; `reverseAliases` creates the account under the
// alias in the mailbox's domain and gives it the mailbox's local part as alias. Stops at the first
// failure and returns its status; rows before it stay created.
HRESULT AccountsCommand(IMAPIProp* serverSettings, std::string_view accountsPath,
                        std::string_view publicFoldersAccount, bool aliases, bool reverseAliases);

} // namespace ex2qln::cli
