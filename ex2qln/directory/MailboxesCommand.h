// The mailboxes command: the accounts CSV from the Global Address List's mailbox users.
#pragma once

#include "platform/base/HResult.h"

#include <mapidefs.h>
#include <mapix.h>

#include <optional>
#include <string_view>

namespace ex2qln::directory {

// Writes "account,dn,mailbox,RealName" and the titles of the --ini file's "csv" section, then one
// row per entry that has an account, a home database and an Exchange address. Without an
// accounts path the CSV goes to standard output. The session is not used.
HRESULT MailboxesCommand(IMAPISession* session, IABContainer* gal, std::optional<std::string_view> accountsPath,
                         std::optional<std::string_view> iniPath);

} // namespace ex2qln::directory
