// The installed Office version, as Outlook registers it.
#pragma once

#include <string>

namespace platform {

// The text after the last "." of the default value of HKEY_CLASSES_ROOT "Outlook.Application\CurVer"
// ("Outlook.Application.16" gives "16"); empty when the key or the "." is missing.
std::string OfficeVersion();

} // namespace platform
