// The distlists export on test address lists: the exact group script, the ".errors" side file, the
// lists that cannot be opened, and standard output without a script path.
#include "ex2qln/directory/DistListsCommand.h"
#include "tests/ex2qln/directory/CommandRun.h"
#include "tests/ex2qln/directory/FakeGal.h"
#include "tests/support/TemporaryDirectory.h"

#include <mapicode.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace directorytest {
namespace {

const Entry kAlice = User("alice", "alice@example.org", "Alice Martin");
const Entry kBob = User("bob", "bob@example.org", "Bob Okafor");
const Entry kSmith = Contact("Smith, John", "john.smith@partner.example");

struct ListSetUp {
    std::string id;
    std::vector<Entry> members;
    ListOpening opening = ListOpening::kOpens;
};

struct Case {
    const char* name;
    std::vector<Entry> entries;
    std::vector<ListSetUp> lists;
    std::string script;
    std::string errors;         // the side file
    std::string standardError;  // warnings
};

class DistListsCommandTest : public ::testing::TestWithParam<Case> {};

TEST_P(DistListsCommandTest, WritesTheScript)
{
    const Case& test = GetParam();
    testsupport::TemporaryDirectory directory;
    FakeGal gal(test.entries);
    for (const ListSetUp& list : test.lists) {
        gal.SetMembers(list.id, list.members);
        gal.SetListOpening(list.id, list.opening);
    }
    const std::string scriptPath = directory.File("groups.cli");
    const CommandOutput output =
        Captured([&] { return ex2qln::directory::DistListsCommand(nullptr, gal.Container(), scriptPath); });
    EXPECT_EQ(output.status, S_OK);
    EXPECT_EQ(output.standardError, test.standardError);
    const std::string rows = std::to_string(test.entries.size());
    EXPECT_EQ(output.standardOutput, Progress("LDIF", static_cast<unsigned>(test.entries.size())) +
                                         "LIST: Finished (" + rows + " GAL records processed of " + rows + ") [0].\n");
    EXPECT_EQ(FileText(scriptPath), test.script);
    EXPECT_EQ(FileText(scriptPath + ".errors"), test.errors);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DistListsCommandTest,
    ::testing::Values(
        Case{"OneLinePerList",
             {kAlice, List("staff", "staff@example.org", "All Staff"), kSmith,
              List("sales", "sales@example.org", "Sales"), List("empty", "empty@example.org", "Nobody")},
             {{"staff", {kAlice, kBob}}, {"sales", {kAlice, kSmith}}, {"empty", {}}},
             "CreateGroup staff@example.org { RealName=\"All Staff\"; Members=(alice@example.org,bob@example.org);}\n"
             "CreateGroup sales@example.org { RealName=\"Sales\"; Members=(alice@example.org,john.smith@partner.example);}\n"
             "CreateGroup empty@example.org { RealName=\"Nobody\"; Members=();}\n",
             "",
             ""},
        Case{"NestedListIsAMemberByItsAddress",
             {List("all", "all@example.org", "All"), List("team", "team@example.org", "Team")},
             {{"all", {List("team", "team@example.org", "Team"), kBob}}, {"team", {kAlice}}},
             "CreateGroup all@example.org { RealName=\"All\"; Members=(team@example.org,bob@example.org);}\n"
             "CreateGroup team@example.org { RealName=\"Team\"; Members=(alice@example.org);}\n",
             "",
             ""},
        Case{"AmpersandAddressAlsoGoesToTheSideFile",
             {List("sm", "sales&marketing@example.org", "Sales & Marketing"), List("ok", "ok@example.org", "OK")},
             {{"sm", {kAlice, Contact("Hanna & Co", "hanna&co@partner.example")}}, {"ok", {kBob}}},
             "CreateGroup sales&marketing@example.org { RealName=\"Sales & Marketing\"; "
             "Members=(alice@example.org,hanna&co@partner.example);}\n"
             "CreateGroup ok@example.org { RealName=\"OK\"; Members=(bob@example.org);}\n",
             "sales&marketing@example.org\n",
             ""},
        Case{"DisplayNamesInUtf8WithEscapes",
             {List("q", "q@example.org", "The \"Best\" \\ J\u00fcrgen's"),
              Without(List("nameless", "nameless@example.org", ""), PR_DISPLAY_NAME_A),
              List("blank", "blank@example.org", "")},
             {{"q", {kAlice}}, {"nameless", {kBob}}, {"blank", {}}},
             "CreateGroup q@example.org { RealName=\"The \\\"Best\\\" \\\\ J\u00fcrgen's\"; Members=(alice@example.org);}\n"
             "CreateGroup nameless@example.org { Members=(bob@example.org);}\n"
             "CreateGroup blank@example.org { Members=();}\n",
             "",
             ""},
        Case{"MembersWithoutAUsableAddressAreLeftOut",
             {List("l", "l@example.org", "L")},
             {{"l", {Without(kAlice, PR_SMTP_ADDRESS_A), User("cr", "bad\r\nQUIT@example.org", "CR"), kBob}}},
             "CreateGroup l@example.org { RealName=\"L\"; Members=(bob@example.org);}\n",
             "",
             ""},
        Case{"ListsThatCannotBeOpenedAreSkipped",
             {List("gone", "gone&co@example.org", "Gone"), List("notable", "notable@example.org", "No Table"),
              List("fine", "fine@example.org", "Fine")},
             {{"gone", {kAlice}, ListOpening::kFails}, {"notable", {kAlice}, ListOpening::kTableFails},
              {"fine", {kBob}}},
             "CreateGroup fine@example.org { RealName=\"Fine\"; Members=(bob@example.org);}\n",
             "gone&co@example.org\n",
             "WARNING: Failed to open 'gone&co@example.org' (needed for distlist) [0x8004010f].\n"
             "WARNING: Failed to open 'notable@example.org' (needed for distlist) [0x80040102].\n"},
        Case{"RowsThatAreNotUsableListsAreSkipped",
             {kAlice, kSmith, Without(List("noid", "noid@example.org", "No Id"), PR_ENTRYID),
              Without(List("nosmtp", "", "No SMTP"), PR_SMTP_ADDRESS_A),
              List("inject", "x@example.org\nQUIT", "Injected")},
             {{"inject", {kAlice}}},
             "",
             "",
             "WARNING: Skipped the list 'x@example.org\\010QUIT': its address holds a control character.\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DistListsCommand, WithoutAScriptPathWritesToStandardOutputOnly)
{
    testsupport::TemporaryDirectory directory;
    FakeGal gal({List("a&b", "a&b@example.org", "A and B")});
    gal.SetMembers("a&b", {kAlice});
    const CommandOutput output =
        Captured([&] { return ex2qln::directory::DistListsCommand(nullptr, gal.Container(), std::nullopt); });
    EXPECT_EQ(output.status, S_OK);
    EXPECT_EQ(output.standardOutput,
              "LDIF: 0 GAL records processed...\r"
              "CreateGroup a&b@example.org { RealName=\"A and B\"; Members=(alice@example.org);}\n"
              "LIST: Finished (1 GAL records processed of 1) [0].\n");
}

TEST(DistListsCommand, TableFailureIsReported)
{
    FakeGal gal({});
    gal.FailContentsTable(MAPI_E_NO_SUPPORT);
    const CommandOutput output =
        Captured([&] { return ex2qln::directory::DistListsCommand(nullptr, gal.Container(), std::nullopt); });
    EXPECT_EQ(output.status, MAPI_E_NO_SUPPORT);
    EXPECT_EQ(output.standardError, "Can not access GAL (needed for distlist) [0x80040102].\n");
    EXPECT_EQ(output.standardOutput, "");
}

TEST(DistListsCommand, SideFileThatCannotBeOpenedIsNamed)
{
    testsupport::TemporaryDirectory directory;
    std::filesystem::create_directory(directory.File("groups.cli.errors"));
    FakeGal gal({});
    const CommandOutput output = Captured(
        [&] { return ex2qln::directory::DistListsCommand(nullptr, gal.Container(), directory.File("groups.cli")); });
    EXPECT_EQ(output.status, E_ACCESSDENIED);
    EXPECT_EQ(output.standardError, "Can not open " + directory.File("groups.cli.errors") + " for writing.\n");
}

TEST(DistListsCommand, ScriptThatCannotBeOpenedIsNamed)
{
    testsupport::TemporaryDirectory directory;
    FakeGal gal({});
    const CommandOutput output = Captured(
        [&] { return ex2qln::directory::DistListsCommand(nullptr, gal.Container(), directory.File("no/such.cli")); });
    EXPECT_EQ(output.status, E_ACCESSDENIED);
    EXPECT_EQ(output.standardError, "Can not open " + directory.File("no/such.cli") + " for writing.\n");
}

} // namespace
} // namespace directorytest
