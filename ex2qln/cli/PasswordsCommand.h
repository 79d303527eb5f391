// The passwords command: the users' NT password hashes from a password dump, set on their accounts.
#pragma once

#include "platform/base/HResult.h"

#include <mapidefs.h>

#include <string_view>

namespace ex2qln::cli {

// Sets the password of every account of the accounts file at `accountsPath` whose Exchange alias
// the password dump at `passwordDumpPath` holds, to its NT hash. Rows missing from the dump, or
// with an empty hash, are skipped silently. Stops at the first failure and returns its status.
HRESULT PasswordsCommand(IMAPIProp* serverSettings, std::string_view accountsPath, std::string_view passwordDumpPath);

} // namespace ex2qln::cli
