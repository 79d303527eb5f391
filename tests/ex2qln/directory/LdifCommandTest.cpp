// The ldif export on test address lists: the exact LDIF with its container entry, contacts only,
// surnames, Base64 values, the attribute map with its special lines, and the refusals of bad maps.
#include "ex2qln/directory/LdifCommand.h"
#include "tests/ex2qln/directory/CommandRun.h"
#include "tests/ex2qln/directory/FakeGal.h"
#include "tests/support/TemporaryDirectory.h"

#include <mapicode.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace directorytest {
namespace {

struct Case {
    const char* name;
    std::vector<Entry> entries;
    std::string targetDn;
    std::optional<std::string> ini;
    std::string ldif;
};

class LdifCommandTest : public ::testing::TestWithParam<Case> {};

TEST_P(LdifCommandTest, WritesTheLdif)
{
    const Case& test = GetParam();
    testsupport::TemporaryDirectory directory;
    FakeGal gal(test.entries);
    const std::string ldifPath = directory.File("contacts.ldif");
    std::optional<std::string> iniPath;
    if (test.ini) {
        iniPath = directory.File("map.ini");
        testsupport::WriteFile(*iniPath, *test.ini);
    }
    const CommandOutput output = Captured([&] {
        return ex2qln::directory::LdifCommand(nullptr, gal.Container(), ldifPath, test.targetDn,
                                              iniPath ? std::optional<std::string_view>(*iniPath) : std::nullopt);
    });
    EXPECT_EQ(output.status, S_OK);
    EXPECT_EQ(output.standardError, "");
    const std::string rows = std::to_string(test.entries.size());
    EXPECT_EQ(output.standardOutput, Progress("LDIF", static_cast<unsigned>(test.entries.size())) +
                                         "LDIF: Finished (" + rows + " GAL records processed of " + rows + ") [0].\n");
    EXPECT_EQ(FileText(ldifPath), test.ldif);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LdifCommandTest,
    ::testing::Values(
        Case{"ContactsUnderTheTargetDn",
             {User("alice", "alice@example.org", "Alice Martin"),
              Contact("Smith, John", "john.smith@partner.example"),
              List("all", "all@example.org", "All Staff"),
              Contact("\u00c9milie Durand", "emilie@fournisseur.example", {{PR_SURNAME_A, std::string("Durand")}}),
              Contact("John Smith", "js@partner.example"),
              Contact("Prince", "prince@partner.example")},
             "cn=contacts",
             std::nullopt,
             "dn: cn=contacts\nobjectClass: top\nobjectClass: organizationalRole\ncn: contacts\n\n"
             "dn: cn=Smith\\, John,cn=contacts\nobjectClass: inetOrgPerson\ncn: Smith, John\nsn: Smith\n"
             "mail: john.smith@partner.example\n\n"
             "dn:: Y249w4ltaWxpZSBEdXJhbmQsY249Y29udGFjdHM=\nobjectClass: inetOrgPerson\n"
             "cn:: w4ltaWxpZSBEdXJhbmQ=\nsn: Durand\nmail: emilie@fournisseur.example\n\n"
             "dn: cn=John Smith,cn=contacts\nobjectClass: inetOrgPerson\ncn: John Smith\nsn: Smith\n"
             "mail: js@partner.example\n\n"
             "dn: cn=Prince,cn=contacts\nobjectClass: inetOrgPerson\ncn: Prince\nsn: Prince\n"
             "mail: prince@partner.example\n\n"},
        Case{"EmptyTargetDn",
             {Contact("Prince", "prince@partner.example")},
             "",
             std::nullopt,
             "dn: cn=Prince\nobjectClass: inetOrgPerson\ncn: Prince\nsn: Prince\nmail: prince@partner.example\n\n"},
        Case{"ValuesThatNeedBase64",
             {Contact(" Leading blank", "a@example.org",
                      {{PR_SURNAME_A, std::string("Line\nbreak")}, {PR_SMTP_ADDRESS_A, std::string(":colon")}}),
              Contact("#1 <Best>; \"Co\" + more", "b@example.org", {{PR_SURNAME_A, std::string("trailing ")}})},
             "ou=people,o=test",
             std::nullopt,
             "dn: ou=people,o=test\nobjectClass: top\nobjectClass: organizationalUnit\nou: people\n\n"
             "dn: cn=\\ Leading blank,ou=people,o=test\nobjectClass: inetOrgPerson\ncn:: IExlYWRpbmcgYmxhbms=\n"
             "sn:: TGluZQpicmVhaw==\nmail:: OmNvbG9u\n\n"
             "dn: cn=\\#1 \\<Best\\>\\; \\\"Co\\\" \\+ more,ou=people,o=test\nobjectClass: inetOrgPerson\n"
             "cn: #1 <Best>; \"Co\" + more\nsn:: dHJhaWxpbmcg\nmail: b@example.org\n\n"},
        Case{"MapWithSpecialLinesAndEveryType",
             {Contact("Carl Contact", "carl@example.org",
                      {{PR_DISPLAY_NAME_A, std::string("Carl C. Contact")},
                       {0x3A06001E, std::string("Carl")},
                       {0x3A08001E, std::string("+44 20 7946 0101")},
                       {0x3003001E, std::string("carl@old.example.org")},
                       {0x8010101E, std::vector<std::string>{"first", "", "Zo\u00eb"}},
                       {0x81230102, Bytes{0, 1, 2, 255}},
                       {0x81241102, std::vector<Bytes>{{'a', 'b', 'c'}, {}}},
                       {0x3A4D0002, short{-2}},
                       {0x81251003, std::vector<LONG>{7, -8}},
                       {0x3A40000B, true}})},
             "cn=contacts",
             "[csv]\n3A08001E=Phone\n[ldif]\n; 3A08001E=ignored\n3001001E=CN\n3A06001E=sn\n3A08001E=telephoneNumber\n"
             "39FE001E=mail\n3003001E=mail\n8010101E=description\n81230102=audio\n81241102=userCertificate;binary\n"
             "3A4D0002=employeeNumber\n81251003=roomNumber\n3A40000B=x-rich\n3A0A001E=carLicense\nno equals sign\n",
             "dn: cn=contacts\nobjectClass: top\nobjectClass: organizationalRole\ncn: contacts\n\n"
             "dn: cn=Carl C. Contact,cn=contacts\nobjectClass: inetOrgPerson\ncn: Carl C. Contact\nsn: Carl\n"
             "telephoneNumber: +44 20 7946 0101\nmail: carl@example.org\nmail: carl@old.example.org\n"
             "description: first\ndescription:: Wm/Dqw==\naudio:: AAEC/w==\nuserCertificate;binary: abc\n"
             "employeeNumber: -2\nroomNumber: 7\nroomNumber: -8\nx-rich: YES\n\n"},
        Case{"IniWithoutLdifSectionHasNoMail",
             {Contact("Prince", "prince@partner.example")},
             "cn=contacts",
             "[csv]\n3A08001E=Phone\n",
             "dn: cn=contacts\nobjectClass: top\nobjectClass: organizationalRole\ncn: contacts\n\n"
             "dn: cn=Prince,cn=contacts\nobjectClass: inetOrgPerson\ncn: Prince\nsn: Prince\n\n"},
        Case{"ContactsWithoutAUsableNameAreLeftOut",
             {Contact("", "empty@example.org"), Without(Contact("Nameless", "n@example.org"), PR_MHS_COMMON_NAME_A)},
             "",
             std::nullopt,
             ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LdifCommand, WithoutAPathWritesToStandardOutput)
{
    FakeGal gal({Contact("Prince", "prince@partner.example")});
    const CommandOutput output = Captured(
        [&] { return ex2qln::directory::LdifCommand(nullptr, gal.Container(), std::nullopt, "cn=contacts", std::nullopt); });
    EXPECT_EQ(output.status, S_OK);
    EXPECT_EQ(output.standardOutput,
              "dn: cn=contacts\nobjectClass: top\nobjectClass: organizationalRole\ncn: contacts\n\nLDIF: 0 GAL records processed...\r"
              "dn: cn=Prince,cn=contacts\nobjectClass: inetOrgPerson\ncn: Prince\nsn: Prince\n"
              "mail: prince@partner.example\n\nLDIF: Finished (1 GAL records processed of 1) [0].\n");
}

struct Refusal {
    const char* name;
    std::string ini;
    std::string standardError;
    HRESULT status;
};

class LdifMapRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(LdifMapRefusal, StopsBeforeWriting)
{
    const Refusal& test = GetParam();
    testsupport::TemporaryDirectory directory;
    FakeGal gal({Contact("Prince", "prince@partner.example")});
    testsupport::WriteFile(directory.File("map.ini"), test.ini);
    const CommandOutput output = Captured([&] {
        return ex2qln::directory::LdifCommand(nullptr, gal.Container(), directory.File("c.ldif"), "cn=contacts",
                                              directory.File("map.ini"));
    });
    EXPECT_EQ(output.status, test.status);
    EXPECT_EQ(output.standardError, test.standardError);
    EXPECT_EQ(output.standardOutput, "");
    EXPECT_EQ(FileText(directory.File("c.ldif")), std::nullopt);
}

std::string ManyLines(int count)
{
    std::string section = "[ldif]\n";
    for (int line = 0; line < count; ++line)
        section += "3A08001E=telephoneNumber\n";
    return section;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LdifMapRefusal,
    ::testing::Values(
        Refusal{"TimeTag", "[ldif]\n39FE001E=mail\n3A420040=birthday\n", "Unsupported property type -- 3A420040=birthday.\n",
                MAPI_E_BAD_VALUE},
        Refusal{"NotATag", "[ldif]\nmail=mail\n", "Unsupported property type -- mail=mail.\n", MAPI_E_BAD_VALUE},
        Refusal{"BlankInAttribute", "[ldif]\n3A08001E=telephone number\n",
                "Unsupported attribute name -- 3A08001E=telephone number.\n", MAPI_E_BAD_VALUE},
        Refusal{"DnAsAttribute", "[ldif]\n3A08001E=DN\n", "Unsupported attribute name -- 3A08001E=DN.\n",
                MAPI_E_BAD_VALUE},
        Refusal{"EmptyAttribute", "[ldif]\n3A08001E=\n", "Unsupported attribute name -- 3A08001E=.\n", MAPI_E_BAD_VALUE},
        Refusal{"TooManyAttributes", ManyLines(1311), "Too many attributes specified.\n", MAPI_E_NOT_ENOUGH_RESOURCES}),
    [](const auto& info) { return std::string(info.param.name); });

// The entry a directory server needs for the target DN: a structural class that fits its name.
TEST(LdifCommand, ContainerEntryFitsTheTargetDn)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"CN=Kontakte", "dn: CN=Kontakte\nobjectClass: top\nobjectClass: organizationalRole\nCN: Kontakte\n\n"},
        {"ou=External\\, Partners,dc=example,dc=org",
         "dn: ou=External\\, Partners,dc=example,dc=org\nobjectClass: top\nobjectClass: organizationalUnit\n"
         "ou: External, Partners\n\n"},
        {"dc=example,dc=org", "dn: dc=example,dc=org\nobjectClass: top\nobjectClass: domain\ndc: example\n\n"},
        {"o=Caf\xC3\xA9", "dn:: bz1DYWbDqQ==\nobjectClass: top\nobjectClass: organization\no:: Q2Fmw6k=\n\n"},
        {"uid=x", "dn: uid=x\nobjectClass: top\n\n"},
    };
    for (const auto& [targetDn, entry] : cases) {
        FakeGal gal({});
        const CommandOutput output = Captured(
            [&] { return ex2qln::directory::LdifCommand(nullptr, gal.Container(), std::nullopt, targetDn, std::nullopt); });
        EXPECT_EQ(output.standardOutput, entry + "LDIF: Finished (0 GAL records processed of 0) [0].\n") << targetDn;
    }
}

TEST(LdifCommand, TableFailureIsReported)
{
    FakeGal gal({});
    gal.FailContentsTable(MAPI_E_NO_SUPPORT);
    const CommandOutput output = Captured(
        [&] { return ex2qln::directory::LdifCommand(nullptr, gal.Container(), std::nullopt, "cn=contacts", std::nullopt); });
    EXPECT_EQ(output.status, MAPI_E_NO_SUPPORT);
    EXPECT_EQ(output.standardError, "Can not access GAL (needed for ldif) [0x80040102].\n");
    EXPECT_EQ(output.standardOutput, "");
}

} // namespace
} // namespace directorytest
