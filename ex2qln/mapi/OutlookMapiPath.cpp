// Where Outlook's MAPI library is, as the Outlook client registers it.
#include "ex2qln/mapi/MapiBinding.h"

#include <climits>

#include "platform/registry/Registry.h"

namespace ex2qln::mapi {

// (Windows asks the installer for Outlook's MAPI component when the registry names no path; Linux
// has no installer database, so the registry is the only source.)
std::optional<std::string> OutlookMapiPath()
{
    std::optional<platform::RegistryKey> outlook = platform::RegistryKey::Open(
        platform::RegistryRoot::LocalMachine, "SOFTWARE\\Clients\\Mail\\Microsoft Outlook");
    if (!outlook)
        return std::nullopt;
    for (const char* name : {"DLLPathEx", "DLLPath"}) {
        std::optional<platform::RegistryValue> value = outlook->ReadValue(name);
        if (!value || value->type == platform::RegistryValueType::Dword ||
            value->type == platform::RegistryValueType::Binary)
            continue;
        std::string path = value->type == platform::RegistryValueType::ExpandString
                               ? platform::ExpandEnvironmentStrings(value->text)
                               : value->text;
        // A path must end at its terminator and fit a path buffer.
        if (!path.empty() && path.find('\0') == std::string::npos && path.size() < PATH_MAX)
            return path;
    }
    return std::nullopt;
}

} // namespace ex2qln::mapi
