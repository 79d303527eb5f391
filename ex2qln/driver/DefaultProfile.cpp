// The "DefaultProfile" registry values of profileonly.
#include "ex2qln/driver/DefaultProfile.h"

#include "ex2qln/mapi/ProfileCreation.h"
#include "platform/registry/Registry.h"

#include <string>

namespace ex2qln::driver {
namespace {

// "Outlook.Application.16" gives "16"; a value without "." leaves the version empty.
std::string OfficeVersion()
{
    auto key = platform::RegistryKey::Open(platform::RegistryRoot::ClassesRoot, "Outlook.Application\\CurVer");
    if (!key)
        return {};
    std::string current = key->ReadString("").value_or("");
    std::size_t dot = current.rfind('.');
    return dot == std::string::npos ? std::string() : current.substr(dot + 1);
}

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
    WriteDefaultProfile("Software\\Microsoft\\Office\\" + OfficeVersion() + ".0\\Outlook", name);
    WriteDefaultProfile("Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles", name);
}

} // namespace ex2qln::driver
