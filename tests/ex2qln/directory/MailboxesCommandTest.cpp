// The mailboxes export on test address lists: the exact CSV, its columns from the map, the filter,
// the quoting, the progress and finish lines, and the refusals of bad maps.
#include "ex2qln/directory/MailboxesCommand.h"
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

const std::string kDn = "/o=Test/ou=First Administrative Group/cn=Recipients/cn=";
const std::string kHeader = "account,dn,mailbox,RealName";

struct Case {
    const char* name;
    std::vector<Entry> entries;
    std::optional<std::string> ini;  // the --ini file's text
    std::string csv;
};

class MailboxesCommandTest : public ::testing::TestWithParam<Case> {};

TEST_P(MailboxesCommandTest, WritesTheAccountsFile)
{
    const Case& test = GetParam();
    testsupport::TemporaryDirectory directory;
    FakeGal gal(test.entries);
    const std::string csvPath = directory.File("accounts.csv");
    std::optional<std::string> iniPath;
    if (test.ini) {
        iniPath = directory.File("map.ini");
        testsupport::WriteFile(*iniPath, *test.ini);
    }
    const CommandOutput output = Captured([&] {
        return ex2qln::directory::MailboxesCommand(nullptr, gal.Container(), csvPath,
                                                   iniPath ? std::optional<std::string_view>(*iniPath) : std::nullopt);
    });
    EXPECT_EQ(output.status, S_OK);
    EXPECT_EQ(output.standardError, "");
    const unsigned rows = static_cast<unsigned>(test.entries.size());
    EXPECT_EQ(output.standardOutput, Progress("CSV", rows) + "CSV: Finished (" + std::to_string(rows) +
                                         " GAL records processed of " + std::to_string(rows) + ") [0].\n");
    EXPECT_EQ(FileText(csvPath), test.csv);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MailboxesCommandTest,
    ::testing::Values(
        Case{"OnlyMailboxUsers",
             {User("alice", "alice.martin@example.org", "Alice Martin"),
              Contact("Smith, John", "john.smith@partner.example"),
              List("all", "all@example.org", "All Staff"),
              Without(User("nohome", "nohome@example.org", "No Home"), PR_EMS_AB_HOME_MDB_A),
              User("bob", "bob@example.org", "Bob Okafor")},
             std::nullopt,
             kHeader + "\n" + "alice," + kDn + "alice,alice.martin@example.org,Alice Martin\n" + "bob," + kDn +
                 "bob,bob@example.org,Bob Okafor\n"},
        Case{"DisplayNamesQuotedOnlyWhenNeeded",
             {User("smith", "smith@example.org", "Smith, John"),
              User("ann", "ann@example.org", "Ann \"The Boss\" Lee"),
              User("quoted", "quoted@example.org", "\"Quoted\" first"),
              User("juergen", "juergen@example.org", "J\u00fcrgen Wei\u00df"),
              User("broken", "broken@example.org", "Two\nlines")},
             std::nullopt,
             kHeader + "\n" + "smith," + kDn + "smith,smith@example.org,\"Smith, John\"\n" + "ann," + kDn +
                 "ann,ann@example.org,Ann \"The Boss\" Lee\n" + "quoted," + kDn +
                 "quoted,quoted@example.org,\"\"\"Quoted\"\" first\"\n" + "juergen," + kDn +
                 "juergen,juergen@example.org,J\u00fcrgen Wei\u00df\n" + "broken," + kDn +
                 "broken,broken@example.org,\"Two\nlines\"\n"},
        Case{"MissingSmtpAddressLeavesTheFieldEmpty",
             {Without(User("nosmtp", "", "No Smtp"), PR_SMTP_ADDRESS_A)},
             std::nullopt,
             kHeader + "\n" + "nosmtp," + kDn + "nosmtp,,No Smtp\n"},
        Case{"MapColumnsOfEveryType",
             {User("alice", "alice@example.org", "Alice",
                   {{0x3A08001E, std::string("+44 20 7946 0101, ext. 5")},
                    {0x3A4D0002, short{-2}},
                    {0x3A4E0003, LONG{123456}},
                    {0x3A40000B, true}}),
              User("bob", "bob@example.org", "Bob", {{0x3A40000B, false}})},
             "[csv]\n3A08001E=BusinessPhone\n0x3A4D0002=Gender\n3a4e0003=Count\n3A40000B=RichInfo\n"
             "missing line\n; 3A080102=Photo\n[ldif]\n3A080102=photo\n",
             "account,dn,mailbox,RealName,BusinessPhone,Gender,Count,RichInfo\n" + std::string("alice,") + kDn +
                 "alice,alice@example.org,Alice,\"+44 20 7946 0101, ext. 5\",-2,123456,YES\n" + "bob," + kDn +
                 "bob,bob@example.org,Bob,,,,NO\n"},
        Case{"IniWithoutCsvSectionGivesFourColumns",
             {User("alice", "alice@example.org", "Alice")},
             "[ldif]\n3A08001E=telephoneNumber\n",
             kHeader + "\nalice," + kDn + "alice,alice@example.org,Alice\n"},
        Case{"EmptyAddressList", {}, std::nullopt, kHeader + "\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// Over two batches of 10,000 rows, with a progress line before every tenth row.
TEST(MailboxesCommand, ReadsEveryBatch)
{
    constexpr unsigned kRows = 10012;
    std::vector<Entry> entries;
    std::string csv = kHeader + "\n";
    for (unsigned index = 0; index < kRows; ++index) {
        const std::string account = "user" + std::to_string(index);
        entries.push_back(User(account, account + "@example.org", "User " + std::to_string(index)));
        csv += account + "," + kDn + account + "," + account + "@example.org,User " + std::to_string(index) + "\n";
    }
    testsupport::TemporaryDirectory directory;
    FakeGal gal(entries);
    const CommandOutput output = Captured(
        [&] { return ex2qln::directory::MailboxesCommand(nullptr, gal.Container(), directory.File("a.csv"), std::nullopt); });
    EXPECT_EQ(output.status, S_OK);
    EXPECT_EQ(output.standardOutput,
              Progress("CSV", kRows) + "CSV: Finished (10012 GAL records processed of 10012) [0].\n");
    EXPECT_EQ(FileText(directory.File("a.csv")), csv);
}

TEST(MailboxesCommand, WithoutAnAccountsPathWritesToStandardOutput)
{
    FakeGal gal({User("alice", "alice@example.org", "Alice"), Contact("Carl", "carl@example.org")});
    const CommandOutput output =
        Captured([&] { return ex2qln::directory::MailboxesCommand(nullptr, gal.Container(), std::nullopt, std::nullopt); });
    EXPECT_EQ(output.status, S_OK);
    EXPECT_EQ(output.standardOutput, kHeader + "\nCSV: 0 GAL records processed...\ralice," + kDn +
                                         "alice,alice@example.org,Alice\n"
                                         "CSV: Finished (2 GAL records processed of 2) [0].\n");
}

struct Refusal {
    const char* name;
    std::string ini;
    std::string standardError;
    HRESULT status;
};

class MailboxesMapRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(MailboxesMapRefusal, StopsBeforeWriting)
{
    const Refusal& test = GetParam();
    testsupport::TemporaryDirectory directory;
    FakeGal gal({User("alice", "alice@example.org", "Alice")});
    testsupport::WriteFile(directory.File("map.ini"), test.ini);
    const CommandOutput output = Captured([&] {
        return ex2qln::directory::MailboxesCommand(nullptr, gal.Container(), directory.File("a.csv"),
                                                   directory.File("map.ini"));
    });
    EXPECT_EQ(output.status, test.status);
    EXPECT_EQ(output.standardError, test.standardError);
    EXPECT_EQ(output.standardOutput, "");
    EXPECT_EQ(FileText(directory.File("a.csv")), std::nullopt);
}

// Lines of 20 bytes, 21 with the zero that ends each in a section read.
std::string ManyLines(int count)
{
    std::string section = "[csv]\n";
    for (int line = 0; line < count; ++line)
        section += "3A08001E=Phone" + std::string(6, 'x') + "\n";
    return section;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MailboxesMapRefusal,
    ::testing::Values(
        Refusal{"BinaryTag", "[csv]\n3A08001E=Phone\n3A080102 = Photo\n3A00001E=Account\n",
                "Unsupported property type for 3A080102=Photo.\n", MAPI_E_BAD_VALUE},
        Refusal{"UnicodeTag", "[csv]\n3001001F=Name\n", "Unsupported property type for 3001001F=Name.\n",
                MAPI_E_BAD_VALUE},
        Refusal{"NotATag", "[csv]\nBusinessPhone=Phone\n", "Unsupported property type for BusinessPhone=Phone.\n",
                MAPI_E_BAD_VALUE},
        Refusal{"EmptyTag", "[csv]\n=Phone\n", "Unsupported property type for =Phone.\n", MAPI_E_BAD_VALUE},
        Refusal{"TooManyAttributes", ManyLines(1561), "Too many attributes specified.\n",
                MAPI_E_NOT_ENOUGH_RESOURCES}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MailboxesCommand, SectionJustWithinTheLimitIsTaken)
{
    // 1560 lines make 32,760 bytes, within 32,762; one more line is refused above.
    testsupport::TemporaryDirectory directory;
    testsupport::WriteFile(directory.File("map.ini"), ManyLines(1560));
    FakeGal gal({});
    const CommandOutput output = Captured([&] {
        return ex2qln::directory::MailboxesCommand(nullptr, gal.Container(), directory.File("a.csv"),
                                                   directory.File("map.ini"));
    });
    EXPECT_EQ(output.status, S_OK) << output.standardError;
}

TEST(MailboxesCommand, TableFailureIsReported)
{
    FakeGal gal({});
    gal.FailContentsTable(MAPI_E_NO_SUPPORT);
    testsupport::TemporaryDirectory directory;
    const CommandOutput output = Captured([&] {
        return ex2qln::directory::MailboxesCommand(nullptr, gal.Container(), directory.File("a.csv"), std::nullopt);
    });
    EXPECT_EQ(output.status, MAPI_E_NO_SUPPORT);
    EXPECT_EQ(output.standardError, "Can not set GAL restriction [0x80040102].\n");
    EXPECT_EQ(output.standardOutput, "");
}

TEST(MailboxesCommand, UnwritableOutputIsReported)
{
    FakeGal gal({User("alice", "alice@example.org", "Alice")});
    testsupport::TemporaryDirectory directory;
    const CommandOutput output = Captured([&] {
        return ex2qln::directory::MailboxesCommand(nullptr, gal.Container(), directory.Path(), std::nullopt);
    });
    EXPECT_EQ(output.status, E_ACCESSDENIED);
    EXPECT_EQ(output.standardError, "Can not open " + directory.Path() + " for writing.\n");
}

TEST(MailboxesCommand, FullDiskIsReported)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    FakeGal gal({User("alice", "alice@example.org", "Alice")});
    const CommandOutput output =
        Captured([&] { return ex2qln::directory::MailboxesCommand(nullptr, gal.Container(), "/dev/full", std::nullopt); });
    EXPECT_EQ(output.status, HResultFromErrno(ENOSPC));
    EXPECT_EQ(output.standardError, "Can not write /dev/full [0x8007001c].\n");
    EXPECT_EQ(output.standardOutput,
              "CSV: 0 GAL records processed...\rCSV: Finished (1 GAL records processed of 1) [0x8007001c].\n");
}

} // namespace
} // namespace directorytest
