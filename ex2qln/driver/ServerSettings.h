// The seven server connection settings that every server-side command shares.
#pragma once

#include "ex2qln/driver/CommandLine.h"
#include "platform/base/HResult.h"

#include <mapidefs.h>

#include <array>
#include <string>

namespace ex2qln::driver {

// The seven entries in their fixed order; the strings point into `settings` and `host`.
std::array<SPropValue, 7> ServerSettingValues(const RunSettings& settings, std::string& host);

// Stores the seven entries in one SetProps call.
HRESULT StoreServerSettings(IPropData* target, const RunSettings& settings);

} // namespace ex2qln::driver
