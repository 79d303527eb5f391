// The built ex2qln's transfer into the stand-in server: the demo organisation migrated whole and
// read back over IMAP (folders with their classes, the Inbox, fixed names, every message with its
// flags and internal date, each judged by the independent readers); faults of the server and of
// the source, each with its messages and status, with and without --ignore-errors; and the
// driver's own failures.
#include "tests/e2e/StandInTransferTest.h"
#include "tests/e2e/TransferFixtures.h"
#include "tests/support/OutputValidators.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/StandInServer.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using e2e::TransferTest;

using nlohmann::json;
using namespace e2e::transfer;
using testsupport::ProcessResult;
using testsupport::StandInServer;

const std::string kSession = "Initializing MAPI session.\nOpening Exchange GAL.\n";


// ---- The demo organisation ------------------------------------------------------------------------

struct ExpectedFolder {
    std::string account;
    std::string path;  // below "~account/", as the server lists it
    std::string folderClass;
    std::string user;  // the source: the mailbox's user, "" for the public folders
    std::vector<std::string> source;  // empty: the folder has no source (an account's own Inbox)
};

TEST_F(TransferTest, TheDemoOrganisationArrivesWholeAndReadsBackOverImap)
{
    EX2QLN_SKIP_WITHOUT_VALIDATORS(testsupport::OutputCheck::Message);
    auto server = StartServer();
    const std::string profile = "--profile=" + kDemoOrganisation;
    ProcessResult exported = Run({"mailboxes", profile, "--accounts=accounts.csv"});
    ASSERT_EQ(exported.exitCode, 0) << exported.standardError;
    // Bob is homed by his transfer agent, which mailboxes does not take; the administrator adds him.
    std::string accounts = testsupport::ReadFile(Work("accounts.csv"));
    accounts += "bob,/o=Demo/ou=First Administrative Group/cn=Recipients/cn=bob,bob.okafor@demo.example,Bob Okafor\n";
    testsupport::WriteFile(Work("accounts.csv"), accounts);

    ProcessResult migrated = Run({"accounts", "transfer", profile, "--accounts=accounts.csv", "--public=public",
                                  "--fix-folders", ServerOption(*server)});
    EXPECT_EQ(migrated.exitCode, 0);
    EXPECT_EQ(migrated.standardError,
              "The original folder name \"Clients/Partners\" is not valid. Using name: \"Clients_Partners\".\n"
              "The original folder name \".Archive.mbox\" is not valid. Using name: \"_Archive-mbox\".\n");
    for (const std::string line :
         {"Processing Public Folders (public)\n", "Processing bob (bob.okafor@demo.example)\n",
          "Getting folder list for \"/o=Demo/ou=First Administrative Group/cn=Recipients/cn=bob\"@\"/o=Demo/ou=First "
          "Administrative Group/cn=Configuration/cn=Servers/cn=MAIL2/cn=Microsoft Private MDB\".\n",
          "Posteingang(IPF.Note)\n", "Clients/Partners(Default)\n",
          "Transfer summary: 5 mailbox(es) done, 0 failed; 18 folder(s) created.\nMessages: 26 uploaded, 0 skipped, "
          "0 failed; "}) {
        EXPECT_NE(migrated.standardOutput.find(line), std::string::npos) << line << migrated.standardOutput;
    }
    EXPECT_TRUE(migrated.standardOutput.ends_with("Execution completed [0].\n"));

    const std::vector<ExpectedFolder> expected = {
        {"alice.martin@demo.example", "INBOX", "Default", "alice", {"Inbox"}},
        {"alice.martin@demo.example", "Calendar", "IPF.Appointment", "alice", {"Calendar"}},
        {"alice.martin@demo.example", "Contacts", "IPF.Contact", "alice", {"Contacts"}},
        {"alice.martin@demo.example", "Deleted Items", "Default", "alice", {"Deleted Items"}},
        {"alice.martin@demo.example", "Drafts", "Default", "alice", {"Drafts"}},
        {"alice.martin@demo.example", "INBOX/Clients_Partners", "Default", "alice", {"Inbox", "Clients/Partners"}},
        {"alice.martin@demo.example", "INBOX/Projects", "Default", "alice", {"Inbox", "Projects"}},
        {"alice.martin@demo.example", "Notes", "IPF.StickyNote", "alice", {"Notes"}},
        {"alice.martin@demo.example", "Outbox", "Default", "alice", {"Outbox"}},
        {"alice.martin@demo.example", "Sent Items", "Default", "alice", {"Sent Items"}},
        {"alice.martin@demo.example", "Tasks", "IPF.Task", "alice", {"Tasks"}},
        {"alice.martin@demo.example", "_Archive-mbox", "Default", "alice", {".Archive.mbox"}},
        {"bob.okafor@demo.example", "INBOX", "Default", "bob", {"Inbox"}},
        {"bob.okafor@demo.example", "Sent Items", "Default", "bob", {"Sent Items"}},
        {"carol.nguyen@demo.example", "INBOX", "Default", "carol", {"Inbox"}},
        {"juergen.weiss@demo.example", "INBOX", "Default", "jweiss", {"Posteingang"}},
        {"juergen.weiss@demo.example", "Gel&APY-schte Elemente", "Default", "jweiss", {"Gel\u00f6schte Elemente"}},
        {"juergen.weiss@demo.example", "Gesendete Elemente", "Default", "jweiss", {"Gesendete Elemente"}},
        {"juergen.weiss@demo.example", "Kalender", "IPF.Appointment", "jweiss", {"Kalender"}},
        {"public", "INBOX", "Default", "", {}},
        {"public", "Company Calendar", "IPF.Appointment", "", {"Company Calendar"}},
        {"public", "Company News", "Default", "", {"Company News"}},
        {"public", "Suppliers", "IPF.Contact", "", {"Suppliers"}},
    };
    const json organisation = json::parse(testsupport::ReadFile(kDemoOrganisation));
    const json held = ReadBack(*server, Work("saved"));
    std::vector<std::string> listed;
    for (const auto& [account, folders] : held.items()) {
        for (const json& folder : folders)
            listed.push_back(account + "/" + folder["path"].get<std::string>() + " " + folder["class"].get<std::string>());
    }
    std::vector<std::string> wanted;
    for (const ExpectedFolder& folder : expected)
        wanted.push_back(folder.account + "/" + folder.path + " " + folder.folderClass);
    std::sort(listed.begin(), listed.end());
    std::sort(wanted.begin(), wanted.end());
    EXPECT_EQ(listed, wanted);

    std::size_t sourceMessages = 0;
    std::vector<std::string> files;
    for (const ExpectedFolder& folder : expected) {
        SCOPED_TRACE(folder.account + "/" + folder.path);
        const std::optional<json> source = SourceMessages(organisation, folder.user, folder.source);
        ASSERT_TRUE(source);
        const json& sourceMessagesOfFolder = *source;
        const json arrived = HeldMessages(held, folder.account, folder.path);
        ASSERT_EQ(arrived.size(), sourceMessagesOfFolder.size());
        for (std::size_t i = 0; i < arrived.size(); ++i) {
            const json& properties = sourceMessagesOfFolder[i]["properties"];
            EXPECT_EQ(arrived[i]["flags"].get<std::vector<std::string>>(), ExpectedFlags(properties)) << i;
            const std::string date = ExpectedDate(properties);
            if (date.empty())
                EXPECT_TRUE(std::regex_match(arrived[i]["internal_date"].get<std::string>(),
                                             std::regex("[0-9]{2}-[A-Z][a-z]{2}-[0-9]{4} [0-9:]{8} \\+0000")));
            else
                EXPECT_EQ(arrived[i]["internal_date"], date) << i;
            files.push_back(arrived[i]["file"]);
        }
        sourceMessages += sourceMessagesOfFolder.size();
    }
    EXPECT_EQ(files.size(), sourceMessages);
    EXPECT_EQ(files.size(), 26u);
    const testsupport::ValidatorVerdict verdict = testsupport::ValidateFiles(testsupport::OutputCheck::Message, files);
    EXPECT_TRUE(verdict.valid) << verdict.Describe();
}


// ---- Faults and the driver's failures on a small organisation ----------------------------------


class TransferFaults : public TransferTest {
protected:
    void SetUp() override { testsupport::WriteFile(Work("organisation.json"), kSmallOrganisation); }

    std::unique_ptr<StandInServer> StartFixtureServer(std::vector<std::string> arguments = {})
    {
        std::string accounts;
        for (const char* account : {"ann", "mta", "odd"})
            accounts += std::string(accounts.empty() ? "" : ", ") + "\"" + account + R"(@example.com": {"settings": {}, "aliases": []})";
        return StartServer(std::move(arguments), accounts);
    }

    ProcessResult Transfer(const StandInServer& server, const std::string& accounts, std::vector<std::string> options = {})
    {
        testsupport::WriteFile(Work("accounts.csv"), accounts);
        // Each case is a first migration into a fresh server: no journal of an earlier case.
        std::filesystem::remove(Work("accounts.csv.journal"));
        std::vector<std::string> arguments = {"transfer", "--profile=organisation.json", "--accounts=accounts.csv",
                                              ServerOption(server)};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return Run(arguments);
    }

    // The messages the server holds in one of ann's folders.
    std::size_t Held(const StandInServer& server, const std::string& account, const std::string& folder) const
    {
        const std::string directory = server.StateDirectory() + "/mail/" + account + "@example.com/" + folder + "/.messages";
        std::size_t count = 0;
        if (std::filesystem::is_directory(directory)) {
            for (const auto& entry : std::filesystem::directory_iterator(directory))
                count += entry.path().extension() == ".eml" ? 1 : 0;
        }
        return count;
    }

    // The problem-message files in the temporary directory, each checked to be a private
    // compound file.
    std::size_t SavedMessages() const
    {
        std::size_t count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(temp_.Path())) {
            const std::string name = entry.path().filename();
            if (!name.starts_with("ex2qln") || entry.path().extension() != ".msg")
                continue;
            struct stat status{};
            EXPECT_EQ(::lstat(entry.path().c_str(), &status), 0);
            EXPECT_EQ(status.st_mode & 0777, 0600u) << name;
            EXPECT_TRUE(testsupport::ReadFile(entry.path()).starts_with("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) << name;
            ++count;
        }
        return count;
    }
};


TEST_F(TransferFaults, EachFaultGivesItsMessagesAndStatusAndIgnoreErrorsGoesOn)
{
    const std::string refused = "Command refused on request";
    const std::string appendToA = "APPEND \"~ann@example.com/A\"";
    struct Case {
        const char* name;
        std::vector<std::string> serverArguments;
        std::string status;
        int exitCode;
        // Per message of A, or the folder: the failure's text (a regular expression).
        std::string messageError;  // empty: the folder fails, not its messages
        std::string folderFailure;
        bool saved;
    };
    const std::vector<Case> cases = {
        {"a NO to APPEND", {"--refuse", appendToA}, "0x80040119", 0x19, refused, "", true},
        {"a NO to CREATE", {"--refuse", "CREATE \"~ann@example.com/A\""}, "0x80070005", 0x05, "",
         "Unable to create folder \"A\"\nError: Command refused on request\\. \\[0x80070005\\]\n", false},
        {"the connection dropped in the middle of a literal", {"--drop-in-literal", appendToA}, "0x80040115", 0x15,
         "Error while (sending|receiving) data through socket \\[0x800(72749|70020)\\]", "", true},
        {"a stalled server", {"--stall", appendToA, "--stall-for", "1"}, "0x80040115", 0x15,
         "Error while receiving data through socket \\[0x80072749\\]", "", true},
        {"an invalid reply", {"--invalid", appendToA}, "0x80040119", 0x19,
         Literal("Server has sent invalid reply '?? Invalid reply on request'."), "", true},
    };
    for (const Case& c : cases) {
        for (const bool ignoreErrors : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (ignoreErrors ? ", --ignore-errors" : ""));
            for (const auto& entry : std::filesystem::directory_iterator(temp_.Path())) {
                if (entry.path().extension() == ".msg")
                    std::filesystem::remove(entry.path());
            }
            auto server = StartFixtureServer(c.serverArguments);
            std::vector<std::string> options;
            if (ignoreErrors)
                options.push_back("--ignore-errors");
            const ProcessResult result = Transfer(*server, kAccountsHeader + AccountLine("ann"), options);

            std::string expected;
            if (c.messageError.empty()) {
                expected = c.folderFailure;
            } else {
                expected = FailedMessage("First of A", true, c.status, c.messageError, Literal(temp_.Path() + "/ex2qln0.msg"));
                if (ignoreErrors)
                    expected += FailedMessage("Second of A", false, c.status, c.messageError,
                                              Literal(temp_.Path() + "/ex2qln1.msg"));
            }
            EXPECT_TRUE(std::regex_match(result.standardError, std::regex(expected))) << result.standardError;
            EXPECT_EQ(result.exitCode, ignoreErrors ? 0 : c.exitCode);
            EXPECT_TRUE(result.standardOutput.ends_with("Execution completed [" + (ignoreErrors ? "0" : c.status) + "].\n"))
                << result.standardOutput;
            const std::size_t failures = c.messageError.empty() || ignoreErrors ? 2 : 1;
            EXPECT_NE(result.standardOutput.find("Messages: " + std::to_string(ignoreErrors ? 2 : 0) + " uploaded, 0 skipped, " +
                                                 std::to_string(failures) + " failed;"),
                      std::string::npos)
                << result.standardOutput;
            EXPECT_EQ(SavedMessages(), c.saved ? (ignoreErrors ? 2u : 1u) : 0u);
            // Without --ignore-errors the walk stops at A; with it, the rest of the mailbox arrives.
            EXPECT_EQ(Held(*server, "ann", "A"), 0u);
            EXPECT_EQ(Held(*server, "ann", "B"), ignoreErrors ? 1u : 0u);
            EXPECT_EQ(Held(*server, "ann", "Cal"), ignoreErrors ? 1u : 0u);
        }
    }
}

TEST_F(TransferFaults, FaultsOfTheSourceFailTheirMessageOrFolderAndTheRestArrives)
{
    const std::string folderA = R"({"name": "A", "class": "IPF.Note", )";
    struct Case {
        const char* name;
        std::string folderAStart;  // replaces the start of folder A's object
        std::string error;
        std::string status;        // the transfer's status without --ignore-errors
        int exitCode;
        std::size_t uploadedWithout, uploadedWith, failed, heldInA;
    };
    const std::vector<Case> cases = {
        // Passed over like a message that fails to convert, even without --ignore-errors.
        {"an unreadable message in the source", folderA + R"("messages": ["broken.msg", )",
         "\nUnable to access message contents [0x8004011b].\n", "0", 0, 4, 4, 1, 2},
        {"a folder that cannot be opened", folderA + R"("cannotOpen": true, "messages": [)",
         "Unable to access folder contents [0x80070005].\n", "0x80070005", 0x05, 0, 2, 2, 0},
    };
    testsupport::WriteFile(Work("broken.msg"), "not a compound file");
    for (const Case& c : cases) {
        std::string organisation = kSmallOrganisation;
        const std::string start = folderA + R"("messages": [)";
        organisation.replace(organisation.find(start), start.size(), c.folderAStart);
        testsupport::WriteFile(Work("organisation.json"), organisation);
        for (const bool ignoreErrors : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (ignoreErrors ? ", --ignore-errors" : ""));
            auto server = StartFixtureServer();
            std::vector<std::string> options;
            if (ignoreErrors)
                options.push_back("--ignore-errors");
            const ProcessResult result = Transfer(*server, kAccountsHeader + AccountLine("ann"), options);

            EXPECT_EQ(result.standardError, c.error);
            EXPECT_EQ(result.exitCode, ignoreErrors ? 0 : c.exitCode);
            EXPECT_TRUE(result.standardOutput.ends_with("Execution completed [" + (ignoreErrors ? "0" : c.status) + "].\n"))
                << result.standardOutput;
            const std::size_t uploaded = ignoreErrors ? c.uploadedWith : c.uploadedWithout;
            EXPECT_NE(result.standardOutput.find("Messages: " + std::to_string(uploaded) + " uploaded, 0 skipped, " +
                                                 std::to_string(c.failed) + " failed;"),
                      std::string::npos)
                << result.standardOutput;
            EXPECT_EQ(SavedMessages(), 0u);
            EXPECT_EQ(Held(*server, "ann", "A"), c.heldInA);
            const std::size_t rest = ignoreErrors || c.exitCode == 0 ? 1 : 0;
            EXPECT_EQ(Held(*server, "ann", "B"), rest);
            EXPECT_EQ(Held(*server, "ann", "Cal"), rest);
        }
    }
}

TEST_F(TransferFaults, TheDriversOwnFailuresStopAtTheirLine)
{
    struct Case {
        const char* name;
        std::string accounts;
        std::vector<std::string> options;
        std::string standardError;
        std::string status;
        int exitCode;
        std::string output;  // a part of standard output
    };
    const std::vector<Case> cases = {
        {"only the header: connects, transfers nothing", kAccountsHeader, {}, "", "0", 0,
         "Connecting to Quillon.\nTransfer summary: 0 mailbox(es) done, 0 failed; 0 folder(s) created.\n"},
        {"a header in other letters", "Account,DN,Mailbox\n" + AccountLine("ann"), {},
         "Invalid input line 1 in the accounts file accounts.csv.\n", "0x80004005", 0x05, ""},
        {"an empty field", kAccountsHeader + "ann,,ann@example.com\n", {},
         "Invalid input line 2 in the accounts file accounts.csv.\n", "0x80004005", 0x05, "Connecting to Quillon.\n"},
        {"a DN the address list does not know", kAccountsHeader + AccountLine("ghost") + AccountLine("ann"), {},
         "Can not get account ghost (/o=Fix/cn=ghost) info [0].\n", "0x8004010f", 0x0F,
         "Processing ghost (ghost@example.com)\n"},
        {"no home database or transfer agent", kAccountsHeader + AccountLine("nohome"), {},
         "Can not get home mta/mdb name for nohome.\n", "0x8004010f", 0x0F, ""},
        {"a transfer agent without a cn= part", kAccountsHeader + AccountLine("nocn"), {},
         "Can not get home mdb name for nocn.\n", "0x8004010f", 0x0F, ""},
        {"the home database from the transfer agent", kAccountsHeader + AccountLine("mta"), {}, "", "0", 0,
         "Getting folder list for \"/o=Fix/cn=mta\"@\"/o=Fix/cn=Servers/cn=SRV2/cn=Microsoft Private MDB\".\n"
         "Inbox(Default)\n"},
        {"a folder name the server cannot take", kAccountsHeader + AccountLine("odd") + AccountLine("ann"), {},
         "Unable to create folder \".hidden\"\nThe name is not valid. Please rename the folder and try again.\n",
         "0x80040301", 0x01, ".hidden(Default)\n"},
        {"--skip-imap leaves the mail folders out", kAccountsHeader + AccountLine("ann"), {"--skip-imap"}, "", "0", 0,
         "Cal(IPF.Appointment)\nProcessing message 1 of 1\r1 message(s) transfered.\t\t\t\n"
         "Transfer summary: 1 mailbox(es) done, 0 failed; 1 folder(s) created.\nMessages: 1 uploaded, 3 skipped, 0 failed;"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto server = StartFixtureServer();
        const ProcessResult result = Transfer(*server, c.accounts, c.options);
        EXPECT_EQ(result.standardError, c.standardError);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_TRUE(result.standardOutput.ends_with("Execution completed [" + c.status + "].\n")) << result.standardOutput;
        EXPECT_NE(result.standardOutput.find(c.output), std::string::npos) << result.standardOutput;
        // A line that stops the command stops it there: nothing of ann's arrives after it.
        if (c.exitCode != 0) {
            EXPECT_EQ(Held(*server, "ann", "A"), 0u);
        }
    }
}

// The 8-bit address pass (--ascii) gives the same SMTP sender as the UTF-16 one.
TEST_F(TransferFaults, BothAddressPassesGiveTheSmtpSender)
{
    for (const bool ascii : {false, true}) {
        SCOPED_TRACE(ascii ? "--ascii" : "UTF-16");
        auto server = StartFixtureServer();
        const ProcessResult result =
            Transfer(*server, kAccountsHeader + AccountLine("ann"), ascii ? std::vector<std::string>{"--ascii"}
                                                                          : std::vector<std::string>{});
        EXPECT_EQ(result.exitCode, 0) << result.standardError;
        const std::string stored =
            testsupport::ReadFile(server->StateDirectory() + "/mail/ann@example.com/B/.messages/1.eml");
        EXPECT_NE(stored.find("\r\nFrom: \"ben\" <ben@example.com>\r\n"), std::string::npos) << stored.substr(0, 600);
    }
}

// A mailbox is recorded as done only when nothing of it failed, an empty folder that could not be
// read included: the next run walks it again instead of passing it over.
TEST_F(TransferFaults, AMailboxWithAFailedFolderIsNotRecordedAsDone)
{
    std::string organisation = kSmallOrganisation;
    const std::string start = R"({"name": "B", "class": "IPF.Note", )";
    const std::size_t folderB = organisation.find(start);
    const std::size_t end = organisation.find("]}", folderB);
    organisation.replace(folderB, end - folderB, start + R"("cannotOpen": true, "messages": [)");
    testsupport::WriteFile(Work("organisation.json"), organisation);
    auto server = StartFixtureServer();
    const ProcessResult first = Transfer(*server, kAccountsHeader + AccountLine("ann"), {"--ignore-errors"});
    EXPECT_EQ(first.standardError, "Unable to access folder contents [0x80070005].\n");
    EXPECT_NE(first.standardOutput.find("Messages: 3 uploaded, 0 skipped, 0 failed;"), std::string::npos)
        << first.standardOutput;
    const std::string journal = testsupport::ReadFile(Work("accounts.csv.journal"));
    EXPECT_EQ(journal.find("M\t~ann@example.com\n"), std::string::npos) << journal;
    EXPECT_NE(journal.find("F\t~ann@example.com/A\n"), std::string::npos) << journal;

    // Run again, with the journal: the mailbox is walked, what arrived is passed over.
    testsupport::WriteFile(Work("accounts.csv"), kAccountsHeader + AccountLine("ann"));
    std::vector<std::string> arguments = {"transfer", "--profile=organisation.json", "--accounts=accounts.csv",
                                          ServerOption(*server), "--ignore-errors"};
    const ProcessResult again = Run(arguments);
    EXPECT_EQ(again.standardError, "Unable to access folder contents [0x80070005].\n");
    EXPECT_NE(again.standardOutput.find("Messages: 0 uploaded, 0 skipped, 0 failed;"), std::string::npos)
        << again.standardOutput;
    EXPECT_NE(again.standardOutput.find("Journal: 0 mailbox(es) and 3 message(s) transferred before, passed over.\n"),
              std::string::npos)
        << again.standardOutput;
}

} // namespace
