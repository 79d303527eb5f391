// The built ex2qln's mailboxes, ldif and distlists commands on small organisation files served by
// the MAPI runtime: the exact CSV, LDIF and script text; the demo organisation's LDIF loaded into
// OpenLDAP; and its accounts CSV and group script read back by accounts and cli against the
// stand-in server in the same run.
#include "tests/e2e/ProgramTest.h"
#include "tests/support/OpenLdap.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/StandInServer.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testsupport::ProcessResult;
using testsupport::ProcessRun;

const std::string kDemoOrganisation = EX2QLN_SOURCE_DIR "/samples/demo-org/organisation.json";
const std::string kDn = "/o=Test/ou=Site/cn=Recipients/cn=";
const std::string kHomeMdb = "/o=Test/ou=Site/cn=Configuration/cn=Servers/cn=MAIL1/cn=Microsoft Private MDB";

std::string Completed(const std::string& status) { return "Execution completed [" + status + "].\n"; }
const std::string kSession = "Initializing MAPI session.\nOpening Exchange GAL.\n";

// One GAL entry of an organisation file, as JSON.
std::string User(const std::string& account, const std::string& smtp, const std::string& name,
                 const std::string& properties = "{}")
{
    return R"({"kind": "user", "account": ")" + account + R"(", "dn": ")" + kDn + account + R"(", "smtp": ")" + smtp +
           R"(", "displayName": ")" + name + R"(", "homeMdb": ")" + kHomeMdb + R"(", "properties": )" + properties +
           "}";
}

std::string Contact(const std::string& id, const std::string& smtp, const std::string& name,
                    const std::string& properties = "{}")
{
    return R"({"kind": "contact", "dn": ")" + kDn + id + R"(", "smtp": ")" + smtp + R"(", "displayName": ")" + name +
           R"(", "properties": )" + properties + "}";
}

std::string List(const std::string& id, const std::string& smtp, const std::string& name, const std::string& members,
                 bool cannotOpen = false)
{
    return R"({"kind": "list", "dn": ")" + kDn + id + R"(", "smtp": ")" + smtp + R"(", "displayName": ")" + name +
           R"(", "members": [)" + members + "]" + (cannotOpen ? R"(, "cannotOpen": true)" : "") + "}";
}

std::string Organisation(const std::vector<std::string>& entries)
{
    std::string gal;
    for (const std::string& entry : entries)
        gal += (gal.empty() ? "" : ",\n") + entry;
    return "{\"formatVersion\": 1, \"gal\": [\n" + gal + "\n]}\n";
}

const std::string kSmallOrganisation = Organisation({
    User("alice", "alice.martin@example.org", "Alice Martin",
         R"({"PR_BUSINESS_TELEPHONE_NUMBER": "+44 20 7946 0101", "PR_TITLE": "Head of Sales, EMEA"})"),
    User("jweiss", "juergen.weiss@example.org", "J\u00fcrgen Wei\u00df"),
    User("smith", "john.smith@example.org", "Smith, John", R"({"PR_SURNAME": "Smith"})"),
    User("ann", "ann.lee@example.org", R"(Ann \"The Boss\" Lee)"),
    R"({"kind": "user", "account": "nohome", "dn": ")" + kDn + R"(nohome", "smtp": "nohome@example.org", "displayName": "No Home"})",
    Contact("partner", "p.smith@partner.example", "Smith, Paula", R"({"PR_COMPANY_NAME": "Partner plc"})"),
    Contact("emilie", "emilie.durand@fournisseur.example", "\u00c9milie Durand", R"({"PR_SURNAME": "Durand"})"),
    Contact("hanna", "hanna&co@partner.example", "Hanna & Co"),
    List("staff", "staff@example.org", "All Staff", R"("alice", "jweiss", "sales&marketing@example.org")"),
    List("sm", "sales&marketing@example.org", R"(Sales & \"Marketing\")",
         R"("alice", "p.smith@partner.example", "hanna&co@partner.example")"),
    List("closed", "closed@example.org", "Closed", R"("alice")", true),
    List("empty", "empty@example.org", "Nobody", ""),
});

class DirectoryExports : public e2e::ProgramTest {
protected:
    void SetUp() override { testsupport::WriteFile(work_.File("organisation.json"), kSmallOrganisation); }

    ProcessResult RunProgram(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> line = {"-w", e2e::kProgram, "--nowait"};
        line.insert(line.end(), arguments.begin(), arguments.end());
        ProcessResult result = testsupport::RunProcess(IsolatedRun("/usr/bin/setsid", std::move(line)));
        EXPECT_FALSE(result.timedOut) << "ex2qln did not end";
        return result;
    }

    std::string Work(const std::string& name) const { return work_.File(name); }
};

TEST_F(DirectoryExports, MailboxesWritesTheAccountsFile)
{
    testsupport::WriteFile(Work("map.ini"), "[csv]\n3A08001E=BusinessPhone\n3A17001E=Title\n");
    const ProcessResult result =
        RunProgram({"mailboxes", "--profile=organisation.json", "--accounts=users.csv", "--ini=map.ini"});
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.standardOutput, e2e::Banner() + kSession + "CSV: 0 GAL records processed...\rCSV: 10 GAL records processed...\r"
                                         "CSV: Finished (12 GAL records processed of 12) [0].\n" + Completed("0"));
    EXPECT_EQ(testsupport::ReadFile(Work("users.csv")),
              "account,dn,mailbox,RealName,BusinessPhone,Title\n"
              "alice," + kDn + "alice,alice.martin@example.org,Alice Martin,+44 20 7946 0101,\"Head of Sales, EMEA\"\n"
              "jweiss," + kDn + "jweiss,juergen.weiss@example.org,J\u00fcrgen Wei\u00df,,\n"
              "smith," + kDn + "smith,john.smith@example.org,\"Smith, John\",,\n"
              "ann," + kDn + "ann,ann.lee@example.org,Ann \"The Boss\" Lee,,\n");
}

TEST_F(DirectoryExports, MailboxesWithoutAnAccountsPathWritesToStandardOutput)
{
    const ProcessResult result = RunProgram({"mailboxes", "--profile=organisation.json"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.standardOutput,
              e2e::Banner() + kSession + "account,dn,mailbox,RealName\nCSV: 0 GAL records processed...\r"
              "alice," + kDn + "alice,alice.martin@example.org,Alice Martin\n"
              "jweiss," + kDn + "jweiss,juergen.weiss@example.org,J\u00fcrgen Wei\u00df\n"
              "smith," + kDn + "smith,john.smith@example.org,\"Smith, John\"\n"
              "ann," + kDn + "ann,ann.lee@example.org,Ann \"The Boss\" Lee\n"
              "CSV: 10 GAL records processed...\rCSV: Finished (12 GAL records processed of 12) [0].\n" + Completed("0"));
}

TEST_F(DirectoryExports, MailboxesRefusesAnUnsupportedMapLine)
{
    testsupport::WriteFile(Work("map.ini"), "[csv]\n3A08001E=BusinessPhone\n3A080102=Photo\n");
    const ProcessResult result =
        RunProgram({"mailboxes", "--profile=organisation.json", "--accounts=users.csv", "--ini=map.ini"});
    EXPECT_EQ(result.standardError, "Unsupported property type for 3A080102=Photo.\n");
    EXPECT_EQ(result.standardOutput, e2e::Banner() + kSession + Completed("0x80040301"));
    EXPECT_EQ(static_cast<unsigned>(result.exitCode), 0x80040301u & 0xFF);
}

TEST_F(DirectoryExports, LdifWritesTheContacts)
{
    const ProcessResult result = RunProgram({"ldif", "--profile=organisation.json", "--ldif=contacts.ldif"});
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.standardOutput, e2e::Banner() + kSession + "LDIF: 0 GAL records processed...\rLDIF: 10 GAL records processed...\r"
                                         "LDIF: Finished (12 GAL records processed of 12) [0].\n" + Completed("0"));
    EXPECT_EQ(testsupport::ReadFile(Work("contacts.ldif")),
              "dn: cn=contacts\nobjectClass: top\nobjectClass: organizationalRole\ncn: contacts\n\n"
              "dn: cn=Smith\\, Paula,cn=contacts\nobjectClass: inetOrgPerson\ncn: Smith, Paula\nsn: Smith\n"
              "mail: p.smith@partner.example\n\n"
              "dn:: Y249w4ltaWxpZSBEdXJhbmQsY249Y29udGFjdHM=\nobjectClass: inetOrgPerson\ncn:: w4ltaWxpZSBEdXJhbmQ=\n"
              "sn: Durand\nmail: emilie.durand@fournisseur.example\n\n"
              "dn: cn=Hanna & Co,cn=contacts\nobjectClass: inetOrgPerson\ncn: Hanna & Co\nsn: Co\n"
              "mail: hanna&co@partner.example\n\n");
}

TEST_F(DirectoryExports, LdifWithAMapAndAnEmptyTargetDn)
{
    testsupport::WriteFile(Work("map.ini"), "[ldif]\n3001001E=cn\n3A16001E=o\n39FE001E=mail\n3003001E=description\n");
    const ProcessResult result =
        RunProgram({"ldif", "--profile=organisation.json", "--ldif=contacts.ldif", "--target-dn=", "--ini=map.ini"});
    EXPECT_EQ(result.exitCode, 0) << result.standardError;
    EXPECT_EQ(testsupport::ReadFile(Work("contacts.ldif")),
              "dn: cn=Smith\\, Paula\nobjectClass: inetOrgPerson\ncn: Smith, Paula\nsn: Smith\no: Partner plc\n"
              "mail: p.smith@partner.example\ndescription: " + kDn + "partner\n\n"
              "dn:: Y249w4ltaWxpZSBEdXJhbmQ=\nobjectClass: inetOrgPerson\ncn:: w4ltaWxpZSBEdXJhbmQ=\nsn: Durand\n"
              "mail: emilie.durand@fournisseur.example\ndescription: " + kDn + "emilie\n\n"
              "dn: cn=Hanna & Co\nobjectClass: inetOrgPerson\ncn: Hanna & Co\nsn: Co\nmail: hanna&co@partner.example\n"
              "description: " + kDn + "hanna\n\n");
}

TEST_F(DirectoryExports, DistlistsWritesTheGroupScript)
{
    const ProcessResult result = RunProgram({"distlists", "--profile=organisation.json", "--script=groups.cli"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.standardError, "WARNING: Failed to open 'closed@example.org' (needed for distlist) [0x80070005].\n");
    EXPECT_EQ(result.standardOutput, e2e::Banner() + kSession + "LDIF: 0 GAL records processed...\rLDIF: 10 GAL records processed...\r"
                                         "LIST: Finished (12 GAL records processed of 12) [0].\n" + Completed("0"));
    EXPECT_EQ(testsupport::ReadFile(Work("groups.cli")),
              "CreateGroup staff@example.org { RealName=\"All Staff\"; "
              "Members=(alice.martin@example.org,juergen.weiss@example.org,sales&marketing@example.org);}\n"
              "CreateGroup sales&marketing@example.org { RealName=\"Sales & \\\"Marketing\\\"\"; "
              "Members=(alice.martin@example.org,p.smith@partner.example,hanna&co@partner.example);}\n"
              "CreateGroup empty@example.org { RealName=\"Nobody\"; Members=();}\n");
    EXPECT_EQ(testsupport::ReadFile(Work("groups.cli.errors")), "sales&marketing@example.org\n");
}

// The demo organisation's contacts load into a real directory server.
TEST_F(DirectoryExports, DemoOrganisationLdifLoadsIntoOpenLdap)
{
    const ProcessResult result =
        RunProgram({"ldif", "--profile=" + kDemoOrganisation, "--ldif=demo.ldif", "--target-dn=ou=Contacts,dc=demo,dc=example"});
    ASSERT_EQ(result.exitCode, 0) << result.standardError;
    const testsupport::SlapaddResult loaded =
        testsupport::LoadIntoOpenLdap(testsupport::ReadFile(Work("demo.ldif")), "ou=Contacts,dc=demo,dc=example");
    if (!loaded.available)
        GTEST_SKIP() << "OpenLDAP (slapd) is not installed: scripts/install-deps installs it";
    EXPECT_EQ(loaded.exitCode, 0) << loaded.messages;
    EXPECT_EQ(loaded.added, (std::vector<std::string>{"ou=Contacts,dc=demo,dc=example",
                                                      "cn=Smith\\2C John,ou=Contacts,dc=demo,dc=example",
                                                      "cn=\u00c9milie Durand,ou=Contacts,dc=demo,dc=example",
                                                      "cn=Hanna & Co,ou=Contacts,dc=demo,dc=example"}))
        << loaded.messages;
}

// One run writes the accounts file and the group script from the demo organisation and reads them
// back: the accounts appear on the server, and so does every group until the one whose address the
// server cannot take (the address the ".errors" file names).
TEST_F(DirectoryExports, DemoOrganisationIntoTheServerInOneRun)
{
    testsupport::StandInServer server;
    ASSERT_TRUE(server.Started());
    testsupport::WriteFile(Work("map.ini"), "[csv]\n3A17001E=Title\n3A18001E=Department\n");
    const ProcessResult result = RunProgram(
        {"mailboxes", "distlists", "accounts", "cli", "--profile=" + kDemoOrganisation, "--accounts=users.csv",
         "--ini=map.ini", "--script=groups.cli", "--aliases", "--server=127.0.0.1::" + std::to_string(server.CliPort()),
         "--pwd=secret"});
    EXPECT_EQ(result.standardOutput,
              e2e::Banner() + kSession + "CSV: 0 GAL records processed...\rCSV: Finished (9 GAL records processed of 9) [0].\n"
              "LDIF: 0 GAL records processed...\rLIST: Finished (9 GAL records processed of 9) [0].\n"
              "Connecting to Quillon.\nCreating alice.martin@demo.example\nCreating juergen.weiss@demo.example\n"
              "Creating carol.nguyen@demo.example\n"
              "Connecting to Quillon.\nExecuting \"CreateGroup all-staff@demo.example { RealName=\"All Staff\"; M...\"\n"
              "Executing \"CreateGroup sales&marketing@demo.example { RealName=\"Sales &...\"\n" +
              Completed("0x80040119"));
    EXPECT_EQ(result.standardError,
              "Can not execute: Syntax error: invalid name 'sales&marketing@demo.example'. [0x80040119]\n");
    EXPECT_EQ(testsupport::ReadFile(Work("groups.cli.errors")), "sales&marketing@demo.example\n");

    EXPECT_EQ(server.StateListing(),
              "account alice.martin@demo.example {\"aliases\": [\"alice\"], \"settings\": {\"Department\": \"Sales\", "
              "\"RealName\": \"Alice Martin\", \"Title\": \"Head of Sales\"}}\n"
              "account carol.nguyen@demo.example {\"aliases\": [\"carol\"], \"settings\": {\"Department\": \"\", "
              "\"RealName\": \"Carol Nguyen\", \"Title\": \"\"}}\n"
              "account juergen.weiss@demo.example {\"aliases\": [\"jweiss\"], \"settings\": {\"Department\": \"Finanzen\", "
              "\"RealName\": \"J\u00fcrgen Wei\u00df\", \"Title\": \"Controller\"}}\n"
              "group all-staff@demo.example {\"settings\": {\"Members\": [\"alice.martin@demo.example\", "
              "\"juergen.weiss@demo.example\", \"bob.okafor@demo.example\", \"carol.nguyen@demo.example\", "
              "\"sales&marketing@demo.example\"], \"RealName\": \"All Staff\"}}\n");
}

} // namespace
