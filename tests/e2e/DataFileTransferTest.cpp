// transfer of a mailbox served from an Outlook data file into the stand-in server, read back over
// IMAP: the folder tree with its classes (names in the file's code page), the number of messages in
// each folder, and every message judged by the independent readers.
#include "tests/e2e/StandInTransferTest.h"
#include "tests/support/OutlookSamples.h"
#include "tests/support/OutputValidators.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using e2e::TransferTest;
using testsupport::ProcessResult;

struct HeldFolder {
    std::string path;  // below "~alice@example.com/", as the server lists it
    std::string folderClass;
    std::size_t messages;
};

struct DataFileCase {
    const char* file;  // below the Outlook samples
    const char* codePage;
    std::vector<HeldFolder> folders;
};

std::string Organisation(const std::string& dataFile, const std::string& codePage)
{
    return R"({"formatVersion": 1, "gal": [{"kind": "user", "account": "alice", "dn": "/o=T/cn=alice",
  "smtp": "alice@example.com", "displayName": "Alice", "homeMdb": "/o=T/cn=Servers/cn=S/cn=Microsoft Private MDB"}],
 "mailboxes": [{"user": "alice", "pst": ")" +
           dataFile + "\"" + (codePage.empty() ? "" : ", \"codePage\": " + codePage) + "}]}";
}

std::vector<std::string> Listed(const std::vector<HeldFolder>& folders)
{
    std::vector<std::string> listed;
    for (const HeldFolder& folder : folders)
        listed.push_back(folder.path + " " + folder.folderClass + " " + std::to_string(folder.messages));
    std::sort(listed.begin(), listed.end());
    return listed;
}

TEST_F(TransferTest, MailboxesFromOutlookDataFilesArriveWhole)
{
    if (!testsupport::HaveOutlookSamples())
        GTEST_SKIP() << "the shared Outlook samples are not here: " << testsupport::OutlookSamplesDirectory();
    EX2QLN_SKIP_WITHOUT_VALIDATORS(testsupport::OutputCheck::Message);
    const std::vector<DataFileCase> cases = {
        {"aspose-email-dotnet/passwordprotectedPST.pst", "", {{"INBOX", "Default", 4}, {"Deleted Items", "Default", 14}}},
        {"rjohnsondev-java-libpst/dist-list.pst",
         "",
         {{"INBOX", "Default", 0},
          {"Calendar", "IPF.Appointment", 1},
          {"Contacts", "IPF.Contact", 2},
          {"Deleted Items", "Default", 0},
          {"Drafts", "Default", 0},
          {"Journal", "IPF.Journal", 0},
          {"Junk E-mail", "Default", 0},
          {"Notes", "IPF.StickyNote", 0},
          {"Outbox", "Default", 0},
          {"RSS Feeds", "IPF.Note.OutlookHomepage", 0},
          {"Sent Items", "Default", 0},
          {"Tasks", "IPF.Task", 0}}},
        // An ANSI file: its folder names are Japanese in code page 932 ("Deleted Items" and "Contacts").
        {"HiraokaHyperTools-pst_to_eml/contacts97-2002.pst",
         "932",
         {{"INBOX", "Default", 0},
          {"&UkqWZG4IMH8wojCkMMYw4A-", "Default", 0},
          {"&kCN9YVFI- (Contact dedicated)", "IPF.Contact", 1}}},
    };
    for (const DataFileCase& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string dataFile = (testsupport::OutlookSamplesDirectory() / c.file).string();
        testsupport::WriteFile(Work("organisation.json"), Organisation(dataFile, c.codePage));
        testsupport::WriteFile(Work("accounts.csv"), "account,dn,mailbox\nalice,/o=T/cn=alice,alice@example.com\n");
        auto server = StartServer({}, R"("alice@example.com": {"settings": {}, "aliases": []})");

        const ProcessResult migrated = Run({"transfer", "--profile=organisation.json", "--accounts=accounts.csv",
                                            "--no-journal", ServerOption(*server)});
        EXPECT_EQ(migrated.exitCode, 0) << migrated.standardOutput << migrated.standardError;
        EXPECT_EQ(migrated.standardError, "");
        EXPECT_TRUE(migrated.standardOutput.ends_with("Execution completed [0].\n")) << migrated.standardOutput;

        const nlohmann::json held = ReadBack(*server, Work("saved"));
        ASSERT_TRUE(held.contains("alice@example.com")) << held.dump();
        std::vector<HeldFolder> arrived;
        std::vector<std::string> files;
        for (const nlohmann::json& folder : held["alice@example.com"]) {
            arrived.push_back({folder["path"], folder["class"], folder["messages"].size()});
            for (const nlohmann::json& message : folder["messages"])
                files.push_back(message["file"]);
        }
        EXPECT_EQ(Listed(arrived), Listed(c.folders));
        const testsupport::ValidatorVerdict verdict = testsupport::ValidateFiles(testsupport::OutputCheck::Message, files);
        ASSERT_TRUE(verdict.ran) << verdict.Describe();
        for (const testsupport::ValidatorProblem& problem : verdict.problems) {
            // One mail's HTML, written by a word processor, links its file list by a cid: that names no
            // attachment of the stored message: the HTML is carried as it stands.
            const bool sourceOwn = problem.checker == "cid" &&
                                   problem.message.starts_with("\"cid:filelist.xml@01D28605.F5F99A20\" names no part");
            EXPECT_TRUE(sourceOwn) << problem.location << ": " << problem.checker << ": " << problem.message;
        }
        std::filesystem::remove_all(Work("saved"));
    }
}

} // namespace
