// The "DefaultProfile" registry values of profileonly.
#include "ex2qln/driver/DefaultProfile.h"

#include "ex2qln/mapi/ProfileCreation.h"
#include "platform/registry/OfficeVersion.h"
#include "platform/registry/Registry.h"

#include <string>

namespace ex2qln::driver {
namespace {

void WriteDefaultProfile(const std::string& keyPath, const std::string& name)
{
    auto key = platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, keyPath);
    if (key)
        key->WriteString("DefaultProfile", name);
}

} // namespace

void MakeDefaultProfile()
{
    std::string name = mapi::DefaultProfileName();
    WriteDefaultProfile("Software\\Microsoft\\Office\\" + platform::OfficeVersion() + ".0\\Outlook", name);
    WriteDefaultProfile("Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles", name);
}

} // namespace ex2qln::driver
