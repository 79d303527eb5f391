// The profile list from the registry substitute: the first profiles key that exists.
#include "ex2qlnui/ProfileList.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

namespace ex2qlnui {
namespace {

using testsupport::ScopedEnvironment;
using testsupport::TemporaryDirectory;

const std::string kWindowsNtKey =
    "[Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles]\n";
const std::string kWindowsKey = "[Software\\Microsoft\\Windows\\CurrentVersion\\Windows Messaging Subsystem\\Profiles]\n";
const std::string kOutlookVersion = "[Software\\Classes\\Outlook.Application\\CurVer]\n@=\"Outlook.Application.16\"\n";

std::string Profile(const std::string& key, const std::string& name)
{
    return key.substr(0, key.size() - 2) + "\\" + name + "]\n";
}

TEST(ProfileList, NamesComeFromTheFirstProfilesKeyThatExists)
{
    struct Case {
        const char* name;
        std::string userRegistry;
        std::string machineRegistry;
        std::vector<std::string> profiles;
    };
    const std::string office = "[Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles]\n";
    const Case cases[] = {
        {"no registry at all", "", "", {}},
        // As qlnprofile writes them, the default-profile value beside the profiles.
        {"the Windows NT key, sorted without case",
         kWindowsNtKey + "\"DefaultProfile\"=\"head office\"\n" + Profile(kWindowsNtKey, "zeta") +
             Profile(kWindowsNtKey, "head office") + Profile(kWindowsNtKey, "Archive") +
             Profile(kWindowsNtKey, "head office\\Services") + Profile(kWindowsKey, "ignored"),
         "", {"Archive", "head office", "zeta"}},
        {"an empty Windows NT key still wins", kWindowsNtKey + Profile(kWindowsKey, "ignored"), "", {}},
        {"then the Windows key", Profile(kWindowsKey, "legacy") + Profile(office, "ignored"), kOutlookVersion,
         {"legacy"}},
        {"then Outlook's key of the installed version", Profile(office, "outlook"), kOutlookVersion, {"outlook"}},
        {"no Outlook version, no Outlook key", Profile(office, "outlook"), "", {}},
    };
    for (const Case& example : cases) {
        SCOPED_TRACE(example.name);
        TemporaryDirectory directory;
        ScopedEnvironment user("EX2QLN_USER_REGISTRY", directory.Write("user.ini", example.userRegistry));
        ScopedEnvironment machine("EX2QLN_MACHINE_REGISTRY", directory.Write("machine.ini", example.machineRegistry));
        EXPECT_EQ(MapiProfileNames(), example.profiles);
    }
}

} // namespace
} // namespace ex2qlnui
