// Profile administration: profiles, the default one, message services and sections in the
// registry substitute, and the program's own profile creation of profileonly.
#include "tests/platform/mapi/provider/SessionTestSupport.h"

#include <QlnProfiles.h>

#include <fstream>
#include <sstream>

#include "ex2qln/mapi/ProfileCreation.h"
#include "platform/registry/Registry.h"

namespace sessiontest {
namespace {

constexpr const char* kProfilesKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";

class ProfileAdmin : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        ASSERT_EQ(MAPIAdminProfiles(0, admin_.put()), S_OK);
    }

    std::vector<std::string> Profiles()
    {
        MapiPtr<IMAPITable> table;
        EXPECT_EQ(admin_->GetProfileTable(0, table.put()), S_OK);
        MapiRows rows;
        QueryAll(table.get(), {PR_DISPLAY_NAME_A, PR_DEFAULT_PROFILE}, rows);
        std::vector<std::string> names;
        for (ULONG i = 0; i < rows.size(); ++i)
            names.push_back(Text(&rows->aRow[i].lpProps[0]) + (rows->aRow[i].lpProps[1].Value.b ? "*" : ""));
        return names;
    }

    MapiPtr<IMsgServiceAdmin> Services(std::string name)
    {
        MapiPtr<IMsgServiceAdmin> services;
        EXPECT_EQ(admin_->AdminServices(name.data(), nullptr, 0, 0, services.put()), S_OK);
        return services;
    }

    MapiPtr<IProfAdmin> admin_;
};

TEST_F(ProfileAdmin, ProfilesAreCreatedListedMadeDefaultAndDeleted)
{
    for (std::string name : {"Work", "home", "Ärger"})
        ASSERT_EQ(admin_->CreateProfile(name.data(), nullptr, 0, 0), S_OK) << name;
    EXPECT_EQ(Profiles(), (std::vector<std::string>{"home", "Work", "Ärger"}));

    std::string work = "WORK";
    ASSERT_EQ(admin_->SetDefaultProfile(work.data(), 0), S_OK);
    EXPECT_EQ(Profiles(), (std::vector<std::string>{"home", "Work*", "Ärger"}));
    auto key = platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, kProfilesKey);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadString("DefaultProfile"), "Work");

    ASSERT_EQ(admin_->DeleteProfile(work.data(), 0), S_OK);
    EXPECT_EQ(Profiles(), (std::vector<std::string>{"home", "Ärger"}));
    EXPECT_FALSE(platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, kProfilesKey)->ReadString("DefaultProfile"));
}

TEST_F(ProfileAdmin, RefusedNamesAndMissingProfiles)
{
    std::string existing = "one";
    ASSERT_EQ(admin_->CreateProfile(existing.data(), nullptr, 0, 0), S_OK);
    struct Refusal {
        std::string name;
        HRESULT create;
    } refusals[] = {
        {"", MAPI_E_INVALID_PARAMETER},
        {"back\\slash", MAPI_E_INVALID_PARAMETER},
        {"tab\there", MAPI_E_INVALID_PARAMETER},
        {std::string(65, 'x'), MAPI_E_INVALID_PARAMETER},
        {"ONE", MAPI_E_NO_ACCESS},
    };
    for (Refusal& refusal : refusals)
        EXPECT_EQ(admin_->CreateProfile(refusal.name.data(), nullptr, 0, 0), refusal.create) << refusal.name;
    std::string missing = "missing";
    EXPECT_EQ(admin_->DeleteProfile(missing.data(), 0), MAPI_E_NOT_FOUND);
    EXPECT_EQ(admin_->SetDefaultProfile(missing.data(), 0), MAPI_E_NOT_FOUND);
    MapiPtr<IMsgServiceAdmin> services;
    EXPECT_EQ(admin_->AdminServices(missing.data(), nullptr, 0, 0, services.put()), MAPI_E_NOT_FOUND);
    EXPECT_EQ(Profiles(), std::vector<std::string>{"one"});
}

TEST_F(ProfileAdmin, OnlyKnownServicesCanBeAdded)
{
    std::string name = "p";
    ASSERT_EQ(admin_->CreateProfile(name.data(), nullptr, 0, 0), S_OK);
    MapiPtr<IMsgServiceAdmin> services = Services(name);
    std::string unknown = "MSEMS";
    EXPECT_EQ(services->CreateMsgService(unknown.data(), nullptr, 0, 0), MAPI_E_NOT_FOUND);
    MapiBuffer<MAPIERROR> error;
    ASSERT_EQ(services->GetLastError(MAPI_E_NOT_FOUND, 0, error.put()), S_OK);
    ASSERT_TRUE(error);
    EXPECT_STREQ(error->lpszError,
                 "The message service \"MSEMS\" is not installed: this MAPI runtime offers QLNORGSRC and QLNGTCON.");

    for (std::string service : {std::string(QLN_SERVICE_CONNECTOR), std::string("qlnorgsrc")})
        EXPECT_EQ(services->CreateMsgService(service.data(), nullptr, 0, 0), S_OK) << service;
    MapiPtr<IMAPITable> table;
    ASSERT_EQ(services->GetMsgServiceTable(0, table.put()), S_OK);
    EXPECT_EQ(Column(table.get(), PR_SERVICE_NAME_A), (std::vector<std::string>{"QLNGTCON", "QLNORGSRC"}));

    MAPIUID connector = kQlnConnectorSection;
    EXPECT_EQ(services->DeleteMsgService(&connector), S_OK);
    EXPECT_EQ(services->DeleteMsgService(&connector), MAPI_E_NOT_FOUND);
    ASSERT_EQ(services->GetMsgServiceTable(0, table.put()), S_OK);
    EXPECT_EQ(Column(table.get(), PR_SERVICE_NAME_A), std::vector<std::string>{"QLNORGSRC"});
}

TEST_F(ProfileAdmin, SectionsKeepTheirValuesInTheRegistry)
{
    std::string name = "p";
    ASSERT_EQ(admin_->CreateProfile(name.data(), nullptr, 0, 0), S_OK);
    MapiPtr<IMsgServiceAdmin> services = Services(name);
    MAPIUID uid = kQlnConnectorSection;
    MapiPtr<IProfSect> readOnly;
    ASSERT_EQ(services->OpenProfileSection(&uid, nullptr, 0, readOnly.put()), S_OK);
    SPropValue host{};
    host.ulPropTag = 0x6608001E;
    host.Value.lpszA = const_cast<char*>("mail.example");
    EXPECT_EQ(readOnly->SetProps(1, &host, nullptr), MAPI_E_NO_ACCESS);

    MapiPtr<IProfSect> section;
    ASSERT_EQ(services->OpenProfileSection(&uid, nullptr, MAPI_MODIFY, section.put()), S_OK);
    SPropValue values[5]{};
    values[0] = host;
    values[1].ulPropTag = PR_NULL;  // an unset slot is passed over
    values[2].ulPropTag = 0x66A40003;
    values[2].Value.l = 143;
    values[3].ulPropTag = 0x66A5000B;
    values[3].Value.b = TRUE;
    values[4].ulPropTag = PROP_TAG(PT_DOUBLE, 0x6650);
    values[4].Value.dbl = 1.5;
    MapiBuffer<SPropProblemArray> problems;
    ASSERT_EQ(section->SetProps(5, values, problems.put()), S_OK);
    ASSERT_TRUE(problems);
    ASSERT_EQ(problems->cProblem, 1u);
    EXPECT_EQ(problems->aProblem[0].ulIndex, 4u);
    EXPECT_EQ(problems->aProblem[0].scode, MAPI_E_INVALID_TYPE);

    // A section opened again, through another object, reads what was written.
    MapiPtr<IProfSect> again;
    ASSERT_EQ(services->OpenProfileSection(&uid, nullptr, 0, again.put()), S_OK);
    EXPECT_EQ(Text(again.get(), 0x6608001E), "mail.example");
    EXPECT_EQ(Text(again.get(), 0x6608001F), "mail.example");
    EXPECT_EQ(Long(again.get(), 0x66A40003), 143);
    EXPECT_EQ(Long(again.get(), 0x66A5000B), 1);
    EXPECT_EQ(Text(again.get(), 0x6607001E), "");

    SizedSPropTagArray(2, gone) = {2, {0x66A40003, 0x66A60003}};
    ASSERT_EQ(section->DeleteProps(reinterpret_cast<LPSPropTagArray>(&gone), problems.put()), S_OK);
    ASSERT_TRUE(problems);
    EXPECT_EQ(problems->cProblem, 1u);
    EXPECT_EQ(Long(again.get(), 0x66A40003), -1);
}

// profileonly: the program's profile creation writes the settings file's values into the
// connector's section of a new profile, which names no organisation source and cannot log on.
TEST_F(ProfileAdmin, TheProgramsProfileCreationMakesAConnectorProfile)
{
    std::string settings = WriteFile("settings.inf", "[QLNGT_Section]\n6608001e=mail.example\n66a40003=8f000000\n"
                                                     "6607001e=%USERNAME%x\n66a5000b=1\n");
    ASSERT_EQ(ex2qln::mapi::CreateProfile("Connector", settings.c_str(), false), S_OK);
    EXPECT_EQ(Profiles(), std::vector<std::string>{"Connector"});
    MapiPtr<IMsgServiceAdmin> services = Services("Connector");
    MAPIUID uid = kQlnConnectorSection;
    MapiPtr<IProfSect> section;
    ASSERT_EQ(services->OpenProfileSection(&uid, nullptr, 0, section.put()), S_OK);
    EXPECT_EQ(Text(section.get(), 0x6608001E), "mail.example");
    EXPECT_EQ(Long(section.get(), 0x66A40003), 143);
    EXPECT_EQ(Long(section.get(), 0x66A5000B), 1);
    std::string account = Text(section.get(), 0x6607001E);
    EXPECT_EQ(account.back(), 'x');
    EXPECT_EQ(account.find("%"), std::string::npos);

    // The same name again: the profile exists.
    EXPECT_EQ(ex2qln::mapi::CreateProfile("Connector", settings.c_str(), false), MAPI_E_NO_ACCESS);
    SessionTest::Logon("Connector", MAPI_E_UNCONFIGURED);
}

} // namespace
} // namespace sessiontest
