// The ldif command: the Global Address List's contacts as inetOrgPerson entries in LDIF.
#pragma once

#include "platform/base/HResult.h"

#include <mapidefs.h>
#include <mapix.h>

#include <optional>
#include <string_view>

namespace ex2qln::directory {

// Writes the entry of the target DN (when not empty) and one entry per contact under it, with the
// attributes of the --ini file's "ldif" section (without one: the SMTP address as "mail"). Without
// an LDIF path the LDIF goes to standard output. The session is not used.
HRESULT LdifCommand(IMAPISession* session, IABContainer* gal, std::optional<std::string_view> ldifPath,
                    std::string_view targetDn, std::optional<std::string_view> iniPath);

} // namespace ex2qln::directory
