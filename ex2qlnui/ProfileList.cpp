// Profile names from the registry substitute, where the MAPI runtime and qlnprofile keep them.
#include "ex2qlnui/ProfileList.h"

#include "platform/registry/OfficeVersion.h"
#include "platform/registry/Registry.h"

#include <optional>

namespace ex2qlnui {

std::vector<std::string> MapiProfileNames()
{
    const std::string keys[] = {
        "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles",
        "Software\\Microsoft\\Windows\\CurrentVersion\\Windows Messaging Subsystem\\Profiles",
        "Software\\Microsoft\\Office\\" + platform::OfficeVersion() + ".0\\Outlook\\Profiles",
    };
    for (const std::string& path : keys) {
        std::optional<platform::RegistryKey> key = platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, path);
        if (key)
            return key->SubkeyNames();
    }
    return {};
}

} // namespace ex2qlnui
