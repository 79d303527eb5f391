// The distlists command: a CLI script that creates one server group per distribution list.
#pragma once

#include "platform/base/HResult.h"

#include <mapidefs.h>
#include <mapix.h>

#include <optional>
#include <string_view>

namespace ex2qln::directory {

// Writes one CreateGroup line per distribution list of the Global Address List, with its members'
// SMTP addresses, to the script (or standard output without a path). List addresses with "&" also
// go to "<script>.errors". A list that cannot be opened is reported and skipped. The session is
// not used.
HRESULT DistListsCommand(IMAPISession* session, IABContainer* gal, std::optional<std::string_view> scriptPath);

} // namespace ex2qln::directory
