// The MAPI profile names that the launcher offers.
#pragma once

#include <string>
#include <vector>

namespace ex2qlnui {

// The subkey names of the first of these current-user keys that exists: the Windows NT profiles
// key, the Windows profiles key, then Outlook's profiles key of the installed Office version.
// Empty when none exists.
std::vector<std::string> MapiProfileNames();

} // namespace ex2qlnui
