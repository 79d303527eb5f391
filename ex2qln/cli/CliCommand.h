// The cli command: a script of CLI commands sent to the server line by line.
#pragma once

#include "platform/base/HResult.h"

#include <mapidefs.h>

#include <optional>
#include <string_view>

namespace ex2qln::cli {

// Sends every non-empty line of the script at `scriptPath` as one command, in order, and stops at
// the first one the server refuses. Without a path opening fails like that of a missing file.
HRESULT CliCommand(IMAPIProp* serverSettings, std::optional<std::string_view> scriptPath);

} // namespace ex2qln::cli
