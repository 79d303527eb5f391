// The LDIF export's output loads into OpenLDAP with the inetOrgPerson schema, hard cases included:
// escaped DNs, Base64 values, non-ASCII names, multi-valued and binary attributes.
#include "ex2qln/directory/LdifCommand.h"
#include "tests/ex2qln/directory/CommandRun.h"
#include "tests/ex2qln/directory/FakeGal.h"
#include "tests/support/OpenLdap.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace directorytest {
namespace {

struct Case {
    const char* name;
    std::string targetDn;
    std::vector<std::string> added;
};

class LdifOpenLdapTest : public ::testing::TestWithParam<Case> {};

TEST_P(LdifOpenLdapTest, SlapaddTakesEveryEntry)
{
    const Case& test = GetParam();
    FakeGal gal({
        User("alice", "alice@example.org", "Alice Martin"),
        Contact("Smith, John", "john.smith@partner.example"),
        Contact("\u00c9milie Durand", "emilie@fournisseur.example",
                {{PR_SURNAME_A, std::string("Durand")}, {0x3A08001E, std::string("+33 1 70 36 39 50")}}),
        Contact(" Leading; \"quoted\" + <more> #", "odd@example.org",
                {{PR_SURNAME_A, std::string("Line\nbreak")}, {0x8010101E, std::vector<std::string>{"one", "Zo\u00eb"}}}),
        Contact("#hash=sign\\", "hash@example.org", {{0x81230102, Bytes{0, 1, 2, 255}}, {0x3A4D0002, short{42}}}),
        Contact("Prince", "prince@partner.example"),
        List("all", "all@example.org", "All Staff"),
    });
    testsupport::TemporaryDirectory directory;
    testsupport::WriteFile(directory.File("map.ini"),
                           "[ldif]\n39FE001E=mail\n3A08001E=telephoneNumber\n8010101E=description\n81230102=audio\n"
                           "3A4D0002=employeeNumber\n");
    const std::string ldifPath = directory.File("contacts.ldif");
    const CommandOutput output = Captured([&] {
        return ex2qln::directory::LdifCommand(nullptr, gal.Container(), ldifPath, test.targetDn, directory.File("map.ini"));
    });
    ASSERT_EQ(output.status, S_OK) << output.standardError;

    const testsupport::SlapaddResult loaded =
        testsupport::LoadIntoOpenLdap(testsupport::ReadFile(ldifPath), test.targetDn);
    if (!loaded.available)
        GTEST_SKIP() << "OpenLDAP (slapd) is not installed: scripts/install-deps installs it";
    EXPECT_EQ(loaded.exitCode, 0) << loaded.messages;
    EXPECT_EQ(loaded.added, test.added) << loaded.messages;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LdifOpenLdapTest,
    ::testing::Values(
        Case{"UnderCnContacts",
             "cn=contacts",
             {"cn=contacts", "cn=Smith\\2C John,cn=contacts", "cn=\u00c9milie Durand,cn=contacts",
              "cn=\\20Leading\\3B \\22quoted\\22 \\2B \\3Cmore\\3E #,cn=contacts", "cn=\\23hash\\3Dsign\\5C,cn=contacts",
              "cn=Prince,cn=contacts"}},
        Case{"UnderAnOrganisationalUnit",
             "ou=External Contacts,dc=example,dc=org",
             {"ou=External Contacts,dc=example,dc=org", "cn=Smith\\2C John,ou=External Contacts,dc=example,dc=org",
              "cn=\u00c9milie Durand,ou=External Contacts,dc=example,dc=org",
              "cn=\\20Leading\\3B \\22quoted\\22 \\2B \\3Cmore\\3E #,ou=External Contacts,dc=example,dc=org",
              "cn=\\23hash\\3Dsign\\5C,ou=External Contacts,dc=example,dc=org",
              "cn=Prince,ou=External Contacts,dc=example,dc=org"}}),
    [](const auto& info) { return std::string(info.param.name); });

// The checker itself: an entry without a structural class is refused.
TEST(OpenLdapCheck, RefusesAnEntryWithoutAStructuralClass)
{
    const testsupport::SlapaddResult loaded =
        testsupport::LoadIntoOpenLdap("dn: cn=contacts\nobjectClass: top\n\n", "cn=contacts");
    if (!loaded.available)
        GTEST_SKIP() << "OpenLDAP (slapd) is not installed: scripts/install-deps installs it";
    EXPECT_NE(loaded.exitCode, 0);
    EXPECT_TRUE(loaded.added.empty());
}

} // namespace
} // namespace directorytest
