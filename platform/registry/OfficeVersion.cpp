// The Office version from Outlook's class registration.
#include "platform/registry/OfficeVersion.h"

#include "platform/registry/Registry.h"

namespace platform {

std::string OfficeVersion()
{
    std::optional<RegistryKey> key = RegistryKey::Open(RegistryRoot::ClassesRoot, "Outlook.Application\\CurVer");
    if (!key)
        return {};
    std::string current = key->ReadString("").value_or("");
    std::size_t dot = current.rfind('.');
    return dot == std::string::npos ? std::string() : current.substr(dot + 1);
}

} // namespace platform
