// The built ex2qln's transfer into a real Dovecot, a standard IMAP server without Quillon's
// extensions: the demo organisation migrated whole and read back by each account over IMAP (every
// folder, the class kept as METADATA, every message byte for byte as the transfer sent it, with its
// flags and internal date), and no other account reaching it; a refused APPEND (a full quota) and
// a dropped connection, with and without --ignore-errors. Skipped where Dovecot is not installed.
#include "tests/e2e/ProgramTest.h"
#include "tests/e2e/TransferFixtures.h"
#include "tests/support/DovecotServer.h"
#include "tests/support/ImapRelay.h"
#include "tests/support/OutputValidators.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace e2e::transfer;
using testsupport::DovecotAccount;
using testsupport::DovecotServer;
using testsupport::ImapRelay;
using testsupport::ProcessResult;

const std::string kReadBack = EX2QLN_SOURCE_DIR "/tests/server/imap_readback.py";
const std::string kAdministrator = "admin@demo.example";

std::string Password(const std::string& account) { return "pw-" + account; }

class DovecotTransferTest : public e2e::ProgramTest {
protected:
    void SetUp() override
    {
        if (!DovecotServer::Installed())
            GTEST_SKIP() << "Dovecot is not installed (" << DovecotServer::kProgram
                         << "; scripts/install-deps installs Debian's dovecot-imapd)";
    }

    static std::vector<DovecotAccount> Accounts(const std::vector<std::string>& names)
    {
        std::vector<DovecotAccount> accounts;
        for (const std::string& name : names)
            accounts.push_back({name, Password(name)});
        return accounts;
    }

    // ex2qln logged in as the administrator on `port`, with `arguments` after the options.
    ProcessResult Run(std::uint32_t port, std::vector<std::string> arguments)
    {
        std::vector<std::string> line = {"-w", e2e::kProgram, "--nowait", "--pwd=secret", "--account=" + kAdministrator,
                                         "--server=127.0.0.1:" + std::to_string(port)};
        line.insert(line.end(), arguments.begin(), arguments.end());
        ProcessResult result = testsupport::RunProcess(IsolatedRun("/usr/bin/setsid", std::move(line)));
        EXPECT_FALSE(result.timedOut) << "ex2qln did not end";
        return result;
    }

    // What each account holds, read back by the account itself over STARTTLS.
    json ReadBack(const DovecotServer& server, const std::vector<std::string>& accounts, const std::string& saved)
    {
        std::vector<std::string> arguments = {kReadBack, "--port", std::to_string(server.ImapPort()), "--cafile",
                                              server.CertificatePath()};
        for (const std::string& account : accounts)
            arguments.push_back("--account=" + account + ":" + Password(account));
        return ReadBackAccounts(std::move(arguments), saved);
    }

    std::string Work(const std::string& name) const { return work_.File(name); }

    // The demo organisation's accounts file, written by mailboxes into accounts.csv; the server
    // accounts it names and "public".
    std::vector<std::string> WriteDemoAccounts();
};

// ---- The demo organisation ------------------------------------------------------------------------

struct ExpectedFolder {
    std::string account;
    std::string path;  // as the account lists it
    std::optional<std::string> folderClass;  // the METADATA entry; none for mail
    std::string user;  // the source: the mailbox's user, "" for the public folders
    std::vector<std::string> source;  // empty: the folder has no source (an account's own Inbox)
};

// The server accounts of the accounts file: its third column ("mailbox"), after the header.
std::vector<std::string> AccountNames(const std::string& accountsFile)
{
    std::vector<std::string> names;
    std::istringstream lines(accountsFile);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
        const std::size_t second = line.find(',', line.find(',') + 1);
        if (second != std::string::npos)
            names.push_back(line.substr(second + 1, line.find(',', second + 1) - second - 1));
    }
    return names;
}

std::vector<std::string> DovecotTransferTest::WriteDemoAccounts()
{
    const ProcessResult exported = Run(0, {"mailboxes", "--profile=" + kDemoOrganisation, "--accounts=accounts.csv"});
    EXPECT_EQ(exported.exitCode, 0) << exported.standardError;
    // Bob is homed by his transfer agent, which mailboxes does not take; the administrator adds him.
    std::string accountsFile = testsupport::ReadFile(Work("accounts.csv"));
    accountsFile += "bob,/o=Demo/ou=First Administrative Group/cn=Recipients/cn=bob,bob.okafor@demo.example,Bob Okafor\n";
    testsupport::WriteFile(Work("accounts.csv"), accountsFile);
    std::vector<std::string> accounts = AccountNames(accountsFile);
    accounts.push_back("public");
    return accounts;
}

TEST_F(DovecotTransferTest, TheDemoOrganisationArrivesWholeAndReadsBackOverImap)
{
    EX2QLN_SKIP_WITHOUT_VALIDATORS(testsupport::OutputCheck::Message);
    const std::string profile = "--profile=" + kDemoOrganisation;
    const std::vector<std::string> accounts = WriteDemoAccounts();
    ASSERT_FALSE(accounts.empty());

    DovecotServer server(Accounts(accounts), {kAdministrator, "secret"});
    ASSERT_TRUE(server.Started()) << server.Log();
    ImapRelay relay(server.ImapPort());
    ASSERT_TRUE(relay.Started());
    const ProcessResult migrated =
        Run(relay.Port(), {"transfer", profile, "--accounts=accounts.csv", "--public=public", "--fix-folders"});
    EXPECT_EQ(migrated.exitCode, 0) << server.Log();
    EXPECT_EQ(migrated.standardError,
              "The original folder name \"Clients/Partners\" is not valid. Using name: \"Clients_Partners\".\n"
              "The original folder name \".Archive.mbox\" is not valid. Using name: \"_Archive-mbox\".\n");
    // Dovecot makes an account's INBOX when it is first used, here by the transfer's CREATE.
    EXPECT_NE(migrated.standardOutput.find("Transfer summary: 5 mailbox(es) done, 0 failed; 22 folder(s) created.\n"
                                           "Messages: 26 uploaded, 0 skipped, 0 failed; "),
              std::string::npos)
        << migrated.standardOutput;

    const std::optional<std::string> mail;
    const std::vector<ExpectedFolder> expected = {
        {"alice.martin@demo.example", "INBOX", mail, "alice", {"Inbox"}},
        {"alice.martin@demo.example", "Calendar", "IPF.Appointment", "alice", {"Calendar"}},
        {"alice.martin@demo.example", "Contacts", "IPF.Contact", "alice", {"Contacts"}},
        {"alice.martin@demo.example", "Deleted Items", mail, "alice", {"Deleted Items"}},
        {"alice.martin@demo.example", "Drafts", mail, "alice", {"Drafts"}},
        {"alice.martin@demo.example", "INBOX/Clients_Partners", mail, "alice", {"Inbox", "Clients/Partners"}},
        {"alice.martin@demo.example", "INBOX/Projects", mail, "alice", {"Inbox", "Projects"}},
        {"alice.martin@demo.example", "Notes", "IPF.StickyNote", "alice", {"Notes"}},
        {"alice.martin@demo.example", "Outbox", mail, "alice", {"Outbox"}},
        {"alice.martin@demo.example", "Sent Items", mail, "alice", {"Sent Items"}},
        {"alice.martin@demo.example", "Tasks", "IPF.Task", "alice", {"Tasks"}},
        {"alice.martin@demo.example", "_Archive-mbox", mail, "alice", {".Archive.mbox"}},
        {"bob.okafor@demo.example", "INBOX", mail, "bob", {"Inbox"}},
        {"bob.okafor@demo.example", "Sent Items", mail, "bob", {"Sent Items"}},
        {"carol.nguyen@demo.example", "INBOX", mail, "carol", {"Inbox"}},
        {"juergen.weiss@demo.example", "INBOX", mail, "jweiss", {"Posteingang"}},
        {"juergen.weiss@demo.example", "Gel&APY-schte Elemente", mail, "jweiss", {"Gel\u00f6schte Elemente"}},
        {"juergen.weiss@demo.example", "Gesendete Elemente", mail, "jweiss", {"Gesendete Elemente"}},
        {"juergen.weiss@demo.example", "Kalender", "IPF.Appointment", "jweiss", {"Kalender"}},
        {"public", "INBOX", mail, "", {}},
        {"public", "Company Calendar", "IPF.Appointment", "", {"Company Calendar"}},
        {"public", "Company News", mail, "", {"Company News"}},
        {"public", "Suppliers", "IPF.Contact", "", {"Suppliers"}},
    };
    const json held = ReadBack(server, accounts, Work("saved"));
    std::vector<std::string> listed;
    for (const auto& [account, folders] : held.items()) {
        for (const json& folder : folders) {
            // Dovecot 2.3 offers no CREATE-SPECIAL-USE, so no folder may claim a special use.
            EXPECT_EQ(folder["special_use"], json::array()) << folder["path"];
            listed.push_back(account + "/" + folder["path"].get<std::string>() + " " +
                             (folder["class"].is_null() ? "(none)" : folder["class"].get<std::string>()));
        }
    }
    std::vector<std::string> wanted;
    for (const ExpectedFolder& folder : expected)
        wanted.push_back(folder.account + "/" + folder.path + " " + folder.folderClass.value_or("(none)"));
    std::sort(listed.begin(), listed.end());
    std::sort(wanted.begin(), wanted.end());
    EXPECT_EQ(listed, wanted);

    // What the transfer sent to each folder, in order.
    std::map<std::string, std::vector<std::string>> sent;
    for (const testsupport::RelayedAppend& append : relay.Appends())
        sent[append.folder].push_back(append.bytes);
    const json organisation = json::parse(testsupport::ReadFile(kDemoOrganisation));
    std::vector<std::string> files;
    for (const ExpectedFolder& folder : expected) {
        SCOPED_TRACE(folder.account + "/" + folder.path);
        const std::optional<json> source = SourceMessages(organisation, folder.user, folder.source);
        ASSERT_TRUE(source);
        const json& sourceMessages = *source;
        const json arrived = HeldMessages(held, folder.account, folder.path);
        const std::vector<std::string>& bytes = sent["~" + folder.account + "/" + folder.path];
        ASSERT_EQ(arrived.size(), sourceMessages.size());
        ASSERT_EQ(bytes.size(), sourceMessages.size());
        for (std::size_t i = 0; i < arrived.size(); ++i) {
            const json& properties = sourceMessages[i]["properties"];
            // Dovecot gives the system flags before the keywords.
            std::vector<std::string> flags = arrived[i]["flags"].get<std::vector<std::string>>();
            std::vector<std::string> wantedFlags = ExpectedFlags(properties);
            std::sort(flags.begin(), flags.end());
            std::sort(wantedFlags.begin(), wantedFlags.end());
            EXPECT_EQ(flags, wantedFlags) << i;
            const std::string date = ExpectedDate(properties);
            if (!date.empty()) {
                EXPECT_EQ(arrived[i]["internal_date"], date) << i;
            }
            EXPECT_TRUE(testsupport::ReadFile(arrived[i]["file"].get<std::string>()) == bytes[i]) << i;
            files.push_back(arrived[i]["file"]);
        }
    }
    EXPECT_EQ(files.size(), 26u);

    // Only the administrator reaches other accounts' folders: bob cannot open alice's Inbox.
    testsupport::ProcessRun intruder;
    intruder.program = "/usr/bin/python3";
    intruder.arguments = {"-c",
                          "import imaplib, ssl, sys\n"
                          "m = imaplib.IMAP4('127.0.0.1', int(sys.argv[1]))\n"
                          "m.starttls(ssl_context=ssl.create_default_context(cafile=sys.argv[2]))\n"
                          "m.login(sys.argv[3], sys.argv[4])\n"
                          "print(m.select('\"~alice.martin@demo.example/INBOX\"', readonly=True)[0])\n",
                          std::to_string(server.ImapPort()), server.CertificatePath(), "bob.okafor@demo.example",
                          Password("bob.okafor@demo.example")};
    const ProcessResult refused = testsupport::RunProcess(intruder);
    EXPECT_EQ(refused.standardOutput, "NO\n") << refused.standardError;

    const testsupport::ValidatorVerdict verdict = testsupport::ValidateFiles(testsupport::OutputCheck::Message, files);
    EXPECT_TRUE(verdict.valid) << verdict.Describe();
}

// Where the server announces CREATE-SPECIAL-USE (added here by the relay: Dovecot 2.3 does not, and
// takes a USE list on CREATE without keeping it), the sent items, deleted items and drafts are
// created with their special use, and no other folder is.
TEST_F(DovecotTransferTest, SpecialFoldersAreCreatedWithTheirUseWhereTheServerOffersIt)
{
    const std::vector<std::string> accounts = WriteDemoAccounts();
    ASSERT_FALSE(accounts.empty());
    DovecotServer server(Accounts(accounts), {kAdministrator, "secret"});
    ASSERT_TRUE(server.Started()) << server.Log();
    ImapRelay relay(server.ImapPort(), 0, "CREATE-SPECIAL-USE");
    ASSERT_TRUE(relay.Started());
    const ProcessResult migrated = Run(relay.Port(), {"transfer", "--profile=" + kDemoOrganisation,
                                                      "--accounts=accounts.csv", "--public=public", "--fix-folders"});
    EXPECT_EQ(migrated.exitCode, 0) << migrated.standardError;

    std::vector<std::string> withUse;
    std::istringstream commands(relay.Commands());
    std::string line;
    while (std::getline(commands, line)) {
        if (line.find(" CREATE ") != std::string::npos && line.find("(USE (") != std::string::npos)
            withUse.push_back(line.substr(line.find("CREATE"), line.find_last_not_of('\r') + 1 - line.find("CREATE")));
    }
    const std::vector<std::string> expected = {
        "CREATE \"~alice.martin@demo.example/Sent Items\" (USE (\\Sent))",
        "CREATE \"~alice.martin@demo.example/Deleted Items\" (USE (\\Trash))",
        "CREATE \"~alice.martin@demo.example/Drafts\" (USE (\\Drafts))",
        "CREATE \"~juergen.weiss@demo.example/Gesendete Elemente\" (USE (\\Sent))",
        "CREATE \"~juergen.weiss@demo.example/Gel&APY-schte Elemente\" (USE (\\Trash))",
        "CREATE \"~bob.okafor@demo.example/Sent Items\" (USE (\\Sent))",
    };
    std::vector<std::string> sortedUse = withUse;
    std::vector<std::string> sortedExpected = expected;
    std::sort(sortedUse.begin(), sortedUse.end());
    std::sort(sortedExpected.begin(), sortedExpected.end());
    EXPECT_EQ(sortedUse, sortedExpected) << relay.Commands();
}

// ---- Faults ----------------------------------------------------------------------------------------

// A full quota (the administrator's, which Dovecot counts for what it appends to any account)
// refuses every APPEND (ex2qln talks to Dovecot over STARTTLS here); the relay drops
// the connection at the first APPEND, and with --ignore-errors the transfer connects again.
TEST_F(DovecotTransferTest, RefusedAppendAndDroppedConnectionGiveTheirMessagesAndStatus)
{
    struct Case {
        const char* name;
        std::string quota;
        int dropAtAppend;
        std::string status;
        int exitCode;
        std::string error;  // a regular expression
        // With --ignore-errors: the subjects that fail, and what ann then holds per folder.
        std::vector<std::pair<std::string, bool>> failedWithIgnore;  // subject, delivered
        std::map<std::string, std::size_t> heldWithIgnore;
    };
    const std::vector<Case> cases = {
        {"a full quota refuses APPEND", "1B", 0, "0x80040119", 0x19, "Quota exceeded \\(mailbox for user is full\\) \\([0-9.+ ]+ secs\\)\\.",
         {{"First of A", true}, {"Second of A", false}, {"Only of B", false}, {"Review", false}},
         {{"A", 0}, {"B", 0}, {"Cal", 0}}},
        {"the connection dropped at an APPEND", "", 1, "0x80040115", 0x15,
         "Error while (sending|receiving) data through socket \\[0x800(72749|70020)\\]", {{"First of A", true}},
         {{"A", 1}, {"B", 1}, {"Cal", 1}}},
    };
    testsupport::WriteFile(Work("organisation.json"), kSmallOrganisation);
    testsupport::WriteFile(Work("accounts.csv"), kAccountsHeader + AccountLine("ann"));
    const std::string ann = "ann@example.com";
    for (const Case& c : cases) {
        for (const bool ignoreErrors : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (ignoreErrors ? ", --ignore-errors" : ""));
            for (const auto& entry : std::filesystem::directory_iterator(temp_.Path())) {
                if (entry.path().extension() == ".msg")
                    std::filesystem::remove(entry.path());
            }
            DovecotServer server(Accounts({ann}), {kAdministrator, "secret", c.quota});
            ASSERT_TRUE(server.Started()) << server.Log();
            ImapRelay relay(server.ImapPort(), c.dropAtAppend);
            ASSERT_TRUE(relay.Started());
            std::vector<std::string> arguments = {"transfer", "--profile=organisation.json", "--accounts=accounts.csv"};
            if (c.dropAtAppend == 0)
                arguments.insert(arguments.end(), {"--ssl", "--tls-ca=" + server.CertificatePath()});
            if (ignoreErrors)
                arguments.push_back("--ignore-errors");
            const ProcessResult result = Run(c.dropAtAppend == 0 ? server.ImapPort() : relay.Port(), arguments);

            const std::vector<std::pair<std::string, bool>> failed =
                ignoreErrors ? c.failedWithIgnore : std::vector<std::pair<std::string, bool>>{{"First of A", true}};
            std::string expected;
            for (std::size_t i = 0; i < failed.size(); ++i)
                expected += FailedMessage(failed[i].first, failed[i].second, c.status, c.error,
                                          Literal(temp_.Path() + "/ex2qln" + std::to_string(i) + ".msg"));
            EXPECT_TRUE(std::regex_match(result.standardError, std::regex(expected))) << result.standardError;
            EXPECT_EQ(result.exitCode, ignoreErrors ? 0 : c.exitCode);
            EXPECT_TRUE(result.standardOutput.ends_with("Execution completed [" + (ignoreErrors ? "0" : c.status) + "].\n"))
                << result.standardOutput;
            const std::size_t uploaded = ignoreErrors ? 4 - failed.size() : 0;
            EXPECT_NE(result.standardOutput.find("Messages: " + std::to_string(uploaded) + " uploaded, 0 skipped, " +
                                                 std::to_string(ignoreErrors ? failed.size() : 1) + " failed;"),
                      std::string::npos)
                << result.standardOutput;

            std::map<std::string, std::size_t> held;
            const json readBack = ReadBack(server, {ann}, Work("saved"));
            for (const json& folder : readBack.value(ann, json::array()))
                held[folder["path"]] = folder["messages"].size();
            for (const auto& [folder, count] : c.heldWithIgnore)
                EXPECT_EQ(held[folder], ignoreErrors ? count : 0u) << folder << readBack.dump() << server.Log();
        }
    }
}

} // namespace
