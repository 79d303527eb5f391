// Creating a MAPI profile for the server's MAPI connector from a profile settings file.
#pragma once

#include "platform/base/HResult.h"

#include <string>

namespace ex2qln::mapi {

// The name a created profile gets by default: the user name followed by "_QLNGT", or
// "QLNGT_Profile" when the user name cannot be read.
std::string DefaultProfileName();

// Creates profile `name` (or "Outlook" with `outlook`, else the default name), adds the connector
// service "QLNGTCON" and writes the fifteen settings of `settingsPath` into its section.
// MAPI_E_NOT_FOUND when the path is missing or empty or the file holds no known setting.
HRESULT CreateProfile(const char* name, const char* settingsPath, bool outlook);

} // namespace ex2qln::mapi
