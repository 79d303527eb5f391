// The built ex2qln's transfer into the stand-in server: the demo organisation migrated whole and
// read back over IMAP (folders with their classes, the Inbox, fixed names, every message with its
// flags and internal date, each judged by the independent readers); faults of the server and of
// the source, each with its messages and status, with and without --ignore-errors; and the
// driver's own failures.
#include "tests/e2e/ProgramTest.h"
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

using nlohmann::json;
using testsupport::ProcessResult;
using testsupport::StandInOptions;
using testsupport::StandInServer;

const std::string kDemoOrganisation = EX2QLN_SOURCE_DIR "/samples/demo-org/organisation.json";
const std::string kReadBack = EX2QLN_SOURCE_DIR "/tests/server/quillon_readback.py";
const std::string kSession = "Initializing MAPI session.\nOpening Exchange GAL.\n";
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

class TransferTest : public e2e::ProgramTest {
protected:
    std::unique_ptr<StandInServer> StartServer(std::vector<std::string> arguments = {},
                                               const std::string& accounts = "")
    {
        auto server = std::make_unique<StandInServer>(StandInOptions{
            .arguments = std::move(arguments),
            .protocols = "cli,imap",
            .initialState = accounts.empty() ? std::string()
                                             : R"({"accounts": {)" + accounts + R"(}, "groups": {}})"});
        EXPECT_TRUE(server->Started());
        return server;
    }

    static std::string ServerOption(const StandInServer& server)
    {
        return "--server=127.0.0.1:" + std::to_string(server.ImapPort()) + ":" + std::to_string(server.CliPort());
    }

    ProcessResult Run(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> line = {"-w", e2e::kProgram, "--nowait", "--pwd=secret"};
        line.insert(line.end(), arguments.begin(), arguments.end());
        ProcessResult result = testsupport::RunProcess(IsolatedRun("/usr/bin/setsid", std::move(line)));
        EXPECT_FALSE(result.timedOut) << "ex2qln did not end";
        return result;
    }

    // What the server holds for every account, read back over IMAP; the messages go to `saved`.
    json ReadBack(const StandInServer& server, const std::string& saved)
    {
        std::filesystem::create_directories(saved);
        testsupport::ProcessRun run;
        run.program = "/usr/bin/python3";
        run.arguments = {kReadBack, "--port", std::to_string(server.ImapPort()), "--password", "secret", "--json",
                         "--save", saved};
        const ProcessResult result = testsupport::RunProcess(run);
        EXPECT_EQ(result.exitCode, 0) << result.standardError;
        const json document = json::parse(result.standardOutput, nullptr, false);
        EXPECT_FALSE(document.is_discarded()) << result.standardOutput;
        return document.is_discarded() ? json::object() : document["accounts"];
    }

    std::string Work(const std::string& name) const { return work_.File(name); }
};

// ---- The demo organisation ------------------------------------------------------------------------

// A source folder of the demo organisation: the mailbox's user ("" for the public folders) and the
// display names on the way down.
const json* SourceFolder(const json& organisation, const std::string& user, const std::vector<std::string>& names)
{
    const json* folders = nullptr;
    if (user.empty()) {
        folders = &organisation["publicFolders"]["folders"];
    } else {
        for (const json& mailbox : organisation["mailboxes"]) {
            if (mailbox["user"] == user)
                folders = &mailbox["folders"];
        }
    }
    const json* found = nullptr;
    for (const std::string& name : names) {
        if (folders == nullptr)
            return nullptr;
        found = nullptr;
        for (const json& folder : *folders) {
            if (folder.is_object() && folder.value("name", "") == name)
                found = &folder;
        }
        if (found == nullptr)
            return nullptr;
        folders = found->contains("folders") ? &(*found)["folders"] : nullptr;
    }
    return found;
}

// The flags a source message's properties call for, in the order the upload writes them.
std::vector<std::string> ExpectedFlags(const json& properties)
{
    std::vector<std::string> flags;
    const int icon = properties.value("PR_ICON_INDEX", 0);
    const int messageFlags = properties.value("PR_MESSAGE_FLAGS", 0);
    if (icon == 0x105)
        flags.push_back("\\Answered");
    if (icon == 0x106)
        flags.push_back("Forwarded");
    if (properties.value("PR_FLAG_STATUS", 0) == 2)
        flags.push_back("\\Flagged");
    if (messageFlags & 1)
        flags.push_back("\\Seen");
    if (messageFlags & 8)
        flags.push_back("\\Draft");
    return flags;
}

// "2024-04-02T07:55:03Z" as IMAP writes it; "" without a delivery time.
std::string ExpectedDate(const json& properties)
{
    if (!properties.contains("PR_MESSAGE_DELIVERY_TIME"))
        return "";
    const std::string iso = properties["PR_MESSAGE_DELIVERY_TIME"];
    const int month = std::stoi(iso.substr(5, 2));
    return iso.substr(8, 2) + "-" + kMonths[month - 1] + "-" + iso.substr(0, 4) + " " + iso.substr(11, 8) + " +0000";
}

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
        const json* source = folder.source.empty() ? nullptr : SourceFolder(organisation, folder.user, folder.source);
        ASSERT_TRUE(folder.source.empty() || source != nullptr);
        const json sourceMessagesOfFolder = source != nullptr ? source->value("messages", json::array()) : json::array();
        json arrived = json::array();
        for (const json& candidate : held.value(folder.account, json::array())) {
            if (candidate["path"] == folder.path)
                arrived = candidate["messages"];
        }
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

} // namespace
