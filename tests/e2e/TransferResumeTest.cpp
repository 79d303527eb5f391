// The transfer journal end to end: a migration of the demo organisation killed with SIGKILL at
// random points and run again ends with every message on the server exactly once, compared by
// content with a migration that was never interrupted; the upload a stopped run left uncertain is
// looked up on the server; shards of the accounts file together take every mailbox once; worker
// processes (--jobs) migrate it all with each output line headed by its mailbox.
#include "tests/e2e/StandInTransferTest.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

namespace {

using testsupport::ProcessResult;
using testsupport::StandInServer;

const std::string kProfile = "--profile=" EX2QLN_SOURCE_DIR "/samples/demo-org/organisation.json";
constexpr int kKills = 20;
constexpr unsigned kSeed = 16;

// Every message the server stores, by folder (its directory below the mail store), as its bytes.
using Holdings = std::map<std::string, std::multiset<std::string>>;

// A message as two conversions of it compare: what differs between runs is the MIME boundaries
// (made of the process and the time), the Date an undated item gets at its conversion, a calendar
// component's DTSTAMP (the time of the conversion), and the TNEF part (its key and the times an
// undated item gets), which is left out.
std::string Comparable(std::string message)
{
    static const std::regex boundary("----_=_NextPart_[0-9]+_[0-9A-F]+\\.[0-9A-F]+");
    static const std::regex date("\r\nDate: [^\r]*\r\n");
    static const std::regex stamp("\r\nDTSTAMP:[0-9TZ]+\r\n");
    message = std::regex_replace(message, stamp, "\r\nDTSTAMP:-\r\n");
    static const std::regex tnef("(Content-Type: application/ms-tnef;[^]*?\r\n\r\n)[^]*?(\r\n------_=_NextPart_)");
    message = std::regex_replace(message, boundary, "----_=_NextPart_BOUNDARY");
    message = std::regex_replace(message, date, "\r\nDate: -\r\n");
    return std::regex_replace(message, tnef, "$1(TNEF)$2");
}

Holdings HeldMessages(const StandInServer& server)
{
    Holdings held;
    const std::filesystem::path mail = server.StateDirectory() + "/mail";
    for (const auto& entry : std::filesystem::recursive_directory_iterator(mail)) {
        if (entry.path().extension() != ".eml")
            continue;
        const std::string folder = entry.path().parent_path().parent_path().lexically_relative(mail).string();
        held[folder].insert(Comparable(testsupport::ReadFile(entry.path())));
    }
    return held;
}

std::size_t Count(const Holdings& held)
{
    std::size_t count = 0;
    for (const auto& [folder, messages] : held)
        count += messages.size();
    return count;
}

// Uploads that the journal announced and never settled: a kill in the middle of one.
std::size_t UnsettledUploads(const std::string& journal)
{
    std::set<std::string> pending;
    std::istringstream lines(testsupport::ReadFile(journal));
    for (std::string line; std::getline(lines, line);) {
        if (line.size() < 2 || (line[0] != 'P' && line[0] != 'A'))
            continue;
        const std::string key = line.substr(2, line.find('\t', 2) - 2) + line.substr(line.rfind('\t'));
        if (line[0] == 'P')
            pending.insert(key);
        if (line[0] == 'A')
            pending.erase(key);
    }
    return pending.size();
}

class TransferResume : public e2e::TransferTest {
protected:
    void SetUp() override
    {
        ProcessResult exported = Run({"mailboxes", kProfile, "--accounts=accounts.csv"});
        ASSERT_EQ(exported.exitCode, 0) << exported.standardError;
        // Bob is homed by his transfer agent, which mailboxes does not take; the administrator adds him.
        std::string accounts = testsupport::ReadFile(Work("accounts.csv"));
        accounts += "bob,/o=Demo/ou=First Administrative Group/cn=Recipients/cn=bob,bob.okafor@demo.example,Bob Okafor\n";
        testsupport::WriteFile(Work("accounts.csv"), accounts);
    }

    std::vector<std::string> TransferArguments(const StandInServer& server, std::vector<std::string> options = {}) const
    {
        std::vector<std::string> arguments = {"transfer", kProfile, "--accounts=accounts.csv", "--public=public",
                                              "--fix-folders", ServerOption(server)};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return arguments;
    }

    // A server with the demo's accounts and nothing in them.
    std::unique_ptr<StandInServer> StartEmptyServer(std::vector<std::string> arguments = {})
    {
        auto server = StartServer(std::move(arguments));
        const ProcessResult created =
            Run({"accounts", "--accounts=accounts.csv", "--public=public", ServerOption(*server)});
        EXPECT_EQ(created.exitCode, 0) << created.standardError;
        return server;
    }

    // What a migration that nobody interrupted leaves on a server.
    Holdings Reference()
    {
        auto server = StartEmptyServer();
        const ProcessResult result = Run(TransferArguments(*server, {"--no-journal"}));
        EXPECT_EQ(result.exitCode, 0) << result.standardError;
        EXPECT_FALSE(std::filesystem::exists(Work("accounts.csv.journal")));
        return HeldMessages(*server);
    }

    // The transfer, killed `delay` after it connected to the server (unless it ended before).
    ProcessResult KilledTransfer(const StandInServer& server, std::chrono::milliseconds delay)
    {
        std::vector<std::string> arguments = {"--nowait", "--pwd=secret"};
        for (const std::string& argument : TransferArguments(server))
            arguments.push_back(argument);
        testsupport::ProcessRun run = IsolatedRun(e2e::kProgram, arguments);
        run.waitForOutput = "Connecting to Quillon.";
        run.whileWaiting = [delay](int pid) {
            std::this_thread::sleep_for(delay);
            ::kill(pid, SIGKILL);
        };
        return testsupport::RunProcess(run);
    }
};

TEST_F(TransferResume, KilledAtRandomPointsAndRunAgainTheServerHoldsEveryMessageOnce)
{
    const Holdings reference = Reference();
    ASSERT_EQ(Count(reference), 26u);

    // The pause makes each upload long, so that many kills land inside one.
    auto server = StartEmptyServer({"--pause", "0.05"});
    std::mt19937 random(kSeed);
    std::uniform_int_distribution<int> delay(0, 1500);
    int killed = 0;
    std::size_t killedInAnUpload = 0;
    for (int attempt = 0; attempt < kKills; ++attempt) {
        const ProcessResult result = KilledTransfer(*server, std::chrono::milliseconds(delay(random)));
        killed += result.signal == SIGKILL ? 1 : 0;
        killedInAnUpload += UnsettledUploads(Work("accounts.csv.journal")) > 0 ? 1 : 0;
        // Whatever the kill left, the server never holds a message twice.
        for (const auto& [folder, messages] : HeldMessages(*server)) {
            for (const std::string& message : messages)
                EXPECT_EQ(messages.count(message), 1u) << folder << " after kill " << attempt;
        }
    }
    EXPECT_GT(killed, kKills / 2) << "most runs should end by the kill, not by finishing";
    EXPECT_GT(killedInAnUpload, 0u) << "no kill landed between an upload's announcement and its answer";

    const ProcessResult last = Run(TransferArguments(*server));
    EXPECT_EQ(last.exitCode, 0) << last.standardError;
    EXPECT_NE(last.standardOutput.find("Transfer summary: 5 mailbox(es) done, 0 failed;"), std::string::npos)
        << last.standardOutput;
    EXPECT_NE(last.standardOutput.find(" 0 failed; "), std::string::npos) << last.standardOutput;
    EXPECT_EQ(HeldMessages(*server), reference);
    EXPECT_EQ(UnsettledUploads(Work("accounts.csv.journal")), 0u);

    // Once all is there, a run again uploads nothing and says why.
    const ProcessResult again = Run(TransferArguments(*server));
    EXPECT_EQ(again.exitCode, 0) << again.standardError;
    EXPECT_NE(again.standardOutput.find("Messages: 0 uploaded, 0 skipped, 0 failed; 0 bytes.\n"), std::string::npos)
        << again.standardOutput;
    EXPECT_NE(again.standardOutput.find("Journal: 5 mailbox(es) and 0 message(s) transferred before, passed over.\n"),
              std::string::npos)
        << again.standardOutput;
    EXPECT_EQ(HeldMessages(*server), reference);
}

// The last upload of a finished migration, turned back into an announcement the answer of which
// never came: found on the server, it is not uploaded again; announced before a UID that the
// folder already had, it cannot be the message found, so the message goes again.
TEST_F(TransferResume, AnUncertainUploadIsLookedUpOnTheServer)
{
    auto server = StartEmptyServer();
    ASSERT_EQ(Run(TransferArguments(*server)).exitCode, 0);
    const Holdings complete = HeldMessages(*server);
    const std::string path = Work("accounts.csv.journal");
    const std::string journal = testsupport::ReadFile(path);

    std::smatch last;
    const std::string lastUpload = journal.substr(journal.rfind("\nA\t") + 1);
    ASSERT_TRUE(std::regex_search(lastUpload, last, std::regex("^A\t([0-9A-F]+)\t([0-9]+)\t([^\n]+)\n")))
        << journal;
    const std::string key = last[1];
    const unsigned uid = static_cast<unsigned>(std::stoul(last[2]));
    const std::string folder = last[3];
    std::string before = journal.substr(0, journal.rfind("\nA\t") + 1);
    // Neither the folder nor its mailbox is recorded as done, so the walk reaches the message.
    before = std::regex_replace(before, std::regex("(^|\n)[FM]\t[^\n]*"), "");
    const std::string file = server->StateDirectory() + "/mail/" + folder.substr(1) + "/.messages/" + std::to_string(uid) + ".eml";
    const std::size_t size = std::filesystem::file_size(file);

    struct Case {
        const char* name;
        unsigned afterUid;
        std::size_t uploaded;
    };
    for (const Case& c : {Case{"on the server", uid - 1, 0}, Case{"not after the announcement", uid, 1}}) {
        SCOPED_TRACE(c.name);
        testsupport::WriteFile(path, before + "P\t" + key + "\t" + std::to_string(size) + "\t" +
                                         std::to_string(c.afterUid) + "\t" + folder + "\n");
        const ProcessResult result = Run(TransferArguments(*server));
        EXPECT_EQ(result.exitCode, 0) << result.standardError;
        EXPECT_NE(result.standardOutput.find("Messages: " + std::to_string(c.uploaded) + " uploaded, 0 skipped, 0 failed;"),
                  std::string::npos)
            << result.standardOutput;
        EXPECT_EQ(Count(HeldMessages(*server)), Count(complete) + c.uploaded);
    }
}

TEST_F(TransferResume, ThreeShardsTogetherTakeEveryMailboxOnce)
{
    const Holdings reference = Reference();
    auto server = StartEmptyServer();
    std::multiset<std::string> processed;
    for (const char* shard : {"--shard=1/3", "--shard=2/3", "--shard=3/3"}) {
        SCOPED_TRACE(shard);
        // Each machine of a split migration has its own journal.
        const ProcessResult result = Run(TransferArguments(*server, {shard, "--journal=" + std::string(shard + 8, 1) + ".journal"}));
        EXPECT_EQ(result.exitCode, 0) << result.standardError;
        const std::regex line("\nProcessing ([^\r\n]+)\n");
        for (auto match = std::sregex_iterator(result.standardOutput.begin(), result.standardOutput.end(), line);
             match != std::sregex_iterator(); ++match)
            processed.insert((*match)[1]);
    }
    EXPECT_EQ(processed, (std::multiset<std::string>{"Public Folders (public)", "alice (alice.martin@demo.example)",
                                                     "bob (bob.okafor@demo.example)", "carol (carol.nguyen@demo.example)",
                                                     "jweiss (juergen.weiss@demo.example)"}));
    EXPECT_EQ(HeldMessages(*server), reference);
}

TEST_F(TransferResume, WorkersMigrateEveryMailboxAndHeadEachLineWithIt)
{
    const Holdings reference = Reference();
    auto server = StartEmptyServer();
    const ProcessResult result = Run(TransferArguments(*server, {"--jobs=3"}));
    EXPECT_EQ(result.exitCode, 0) << result.standardError;
    EXPECT_EQ(result.standardError,
              "[alice] The original folder name \"Clients/Partners\" is not valid. Using name: \"Clients_Partners\".\n"
              "[alice] The original folder name \".Archive.mbox\" is not valid. Using name: \"_Archive-mbox\".\n");
    EXPECT_EQ(HeldMessages(*server), reference);

    // Between the session's lines and the summary, every line is a worker's, headed by its mailbox.
    const std::string& output = result.standardOutput;
    const std::size_t first = output.find("Opening Exchange GAL.\n");
    const std::size_t summary = output.find("Transfer summary: ");
    ASSERT_NE(first, std::string::npos) << output;
    ASSERT_NE(summary, std::string::npos) << output;
    std::istringstream lines(output.substr(first + 22, summary - first - 22));
    std::map<std::string, std::size_t> linesOf;
    const std::regex headed("\\[(public|alice|bob|carol|jweiss)\\] [^\r]+");
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        EXPECT_TRUE(std::regex_match(line, match, headed)) << line;
        ++linesOf[match.size() > 1 ? match[1].str() : ""];
    }
    EXPECT_EQ(linesOf.size(), 5u);
    EXPECT_NE(output.find("[bob] Processing bob (bob.okafor@demo.example)\n"), std::string::npos) << output;
    EXPECT_NE(output.find("[alice] Processing message 1 of 2\n"), std::string::npos) << output;
    // The summary adds up all the workers.
    EXPECT_NE(output.find("Transfer summary: 5 mailbox(es) done, 0 failed; 18 folder(s) created.\n"
                          "Messages: 26 uploaded, 0 skipped, 0 failed; "),
              std::string::npos)
        << output;
}

// A mailbox that cannot be found stops the run as it does line by line: no new worker starts,
// those running end their mailbox, and the status is the failure's, --ignore-errors or not.
TEST_F(TransferResume, AFailedWorkerStopsTheStartOfNewOnes)
{
    // The unknown account is the first mailbox: it fails while the public folders are on their way.
    std::string accounts = testsupport::ReadFile(Work("accounts.csv"));
    accounts.insert(accounts.find('\n') + 1, "ghost,/o=Demo/cn=ghost,ghost@demo.example\n");
    testsupport::WriteFile(Work("accounts.csv"), accounts);
    for (const bool ignoreErrors : {false, true}) {
        SCOPED_TRACE(ignoreErrors ? "--ignore-errors" : "without --ignore-errors");
        auto server = StartEmptyServer();
        std::filesystem::remove(Work("accounts.csv.journal"));
        std::vector<std::string> options = {"--jobs=2"};
        if (ignoreErrors)
            options.push_back("--ignore-errors");
        const ProcessResult result = Run(TransferArguments(*server, options));
        EXPECT_EQ(result.standardError, "[ghost] Can not get account ghost (/o=Demo/cn=ghost) info [0].\n");
        EXPECT_EQ(result.exitCode, 0x0F);
        EXPECT_TRUE(result.standardOutput.ends_with("Execution completed [0x8004010f].\n")) << result.standardOutput;
        EXPECT_NE(result.standardOutput.find("Transfer summary: 1 mailbox(es) done, 1 failed;"), std::string::npos)
            << result.standardOutput;
        EXPECT_EQ(result.standardOutput.find("[alice]"), std::string::npos) << result.standardOutput;
    }
}

} // namespace
