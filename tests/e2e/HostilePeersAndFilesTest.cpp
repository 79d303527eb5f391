// The built ex2qln against hostile servers and hostile input files: a scripted server that answers
// byte for byte as a malicious one would, and files built to exhaust the reader. Every case ends
// with a clear error and its status (or, where the server only ends its lines in a bare LF, works),
// before the runner's kill-after limit, with the program's peak memory under 64 MB.
#include "tests/e2e/ProgramTest.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using testsupport::kClosed;
using testsupport::ProcessResult;
using testsupport::ScriptedPeer;
using Lines = std::vector<std::string>;

constexpr long kMemoryBoundKilobytes = 64 * 1024;
const std::string kCramMd5Response = "(CRAM-MD5 response)";
// "<1896.697170952@quillon.example>" in Base64.
const std::string kChallenge = "+ PDE4OTYuNjk3MTcwOTUyQHF1aWxsb24uZXhhbXBsZT4=\r\n";
constexpr std::size_t kFiftyMegabytes = 50 << 20;

const std::string kTwoAccounts = "account,dn,mailbox\r\n"
                                 "ann,/o=Org/cn=ann,ann@example.com\r\n"
                                 "bob,/o=Org/cn=bob,bob@example.com\r\n";
const Lines kLogin = {"AUTH CRAM-MD5", kCramMd5Response};
const Lines kCreateBoth = {"CreateAccount ann@example.com {}", "CreateAccount bob@example.com {}"};

Lines Concat(Lines first, const Lines& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// An input file: `head`, `count` times `filler`, `tail`. Written piece by piece, so that the test
// itself stays small: the program starts as a copy of it, and that copy counts in its peak memory.
struct InputFile {
    std::string name;  // in the working directory
    std::string head;
    std::size_t count = 0;
    char filler = 'x';
    std::string tail{};
};

void Write(const std::string& path, const InputFile& file)
{
    std::ofstream output(path, std::ios::binary | std::ios::trunc);
    output << file.head;
    const std::string piece(std::size_t{1} << 20, file.filler);
    for (std::size_t left = file.count; left > 0; left -= std::min(left, piece.size()))
        output.write(piece.data(), static_cast<std::streamsize>(std::min(left, piece.size())));
    output << file.tail;
    ASSERT_TRUE(output.good()) << path;
}

struct Case {
    const char* name;
    std::vector<std::string> arguments;
    std::vector<InputFile> files;
    // The server: the greeting, then one reply after each line received. None: no server listens.
    std::optional<Lines> replies;
    std::string output;  // after the banner
    std::string error;
    int exitCode;
    Lines received{};  // what the server received, to the client's closing
};

class HostilePeersAndFiles : public e2e::ProgramTest {
protected:
    ProcessResult Run(const Case& example, std::uint32_t port)
    {
        std::vector<std::string> line = {"-w", e2e::kProgram, "--nowait", "--server=127.0.0.1::" + std::to_string(port),
                                         "--pwd=secret"};
        line.insert(line.end(), example.arguments.begin(), example.arguments.end());
        testsupport::ProcessRun run = IsolatedRun("/usr/bin/setsid", std::move(line));
        // Far below the socket's 300-second time-out: a client that waits for a server that has
        // said everything is killed here.
        run.timeout = std::chrono::seconds(30);
        return testsupport::RunProcess(run);
    }

    // The server's lines, the CRAM-MD5 response (different every time) replaced.
    static Lines Received(const ScriptedPeer& peer)
    {
        Lines lines;
        for (const std::string& received : peer.Received()) {
            const bool response = !lines.empty() && lines.back() == "AUTH CRAM-MD5" && received != kClosed;
            lines.push_back(response ? kCramMd5Response : received);
        }
        return lines;
    }
};

std::unique_ptr<ScriptedPeer> StartPeer(const Lines& replies)
{
    return std::make_unique<ScriptedPeer>([replies](ScriptedPeer::Session& session) {
        session.Send(replies.front());
        for (std::size_t index = 1; index < replies.size(); ++index)
            session.Answer(replies[index]);
        while (session.Read()) {
        }
    });
}

// A peer that the program never reached still waits for a connection: this one lets it end.
void Release(const ScriptedPeer& peer)
{
    ex2qln::net::SocketHandle socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(peer.Port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

TEST_F(HostilePeersAndFiles, EachEndsWithAClearErrorInBoundedTimeAndMemory)
{
    const std::vector<std::string> accounts = {"accounts", "--accounts=users.csv"};
    const std::vector<std::string> passwords = {"passwords", "--accounts=users.csv", "--passwds=dump.txt"};
    const std::string outOfStep = "Server has sent a reply out of step, before the command was sent: ";
    const std::string completed = "Execution completed [";
    const std::vector<Case> cases = {
        {"organisation file nested 100,000 deep",
         {"mailboxes", "--profile=" + work_.File("deep.json"), "--accounts=out.csv"},
         {{"deep.json", std::string(100000, '['), 100000, ']'}},
         std::nullopt,
         "Initializing MAPI session.\n",
         work_.File("deep.json") +
             ": line 1, column 257: too deeply nested: more than 256 levels of arrays and objects\n"
             "Logon failed [0x8004011b].\n",
         0x1b},
        {"greeting with terminal escapes",
         accounts,
         {{"users.csv", kTwoAccounts}},
         Lines{"554 \x1b]0;owned\x07\x1b[2J\xc2\x9b" "31m go away\r\n"},
         "Connecting to Quillon.\n" + completed + "0x80040119].\n",
         "Can not connect: \\027]0;owned\\007\\027[2J\\194\\155" "31m go away. [0x80040119]\n",
         0x19,
         {std::string(kClosed)}},
        {"refusal with terminal escapes",
         accounts,
         {{"users.csv", kTwoAccounts}},
         Lines{"200 ready\r\n", kChallenge, "200 Logged in\r\n", "554 \x1b[31mrefused\x1b[0m\r\n", "200 Bye\r\n"},
         "Connecting to Quillon.\nCreating ann@example.com\n" + completed + "0x80040119].\n",
         "Can not create: \\027[31mrefused\\027[0m. [0x80040119]\n",
         0x19,
         Concat(kLogin, {kCreateBoth[0], "QUIT", std::string(kClosed)})},
        {"every reply ends in a bare LF",
         accounts,
         {{"users.csv", kTwoAccounts}},
         Lines{"200 ready\n", kChallenge.substr(0, kChallenge.size() - 2) + "\n", "200 Logged in\n",
               "200 Account created\n", "200 Account created\n", "200 Bye\n"},
         "Connecting to Quillon.\nCreating ann@example.com\nCreating bob@example.com\n" + completed + "0].\n",
         "",
         0,
         Concat(kLogin, Concat(kCreateBoth, {"QUIT", std::string(kClosed)}))},
        {"one command answered twice, so the next reply would be out of step",
         accounts,
         {{"users.csv", kTwoAccounts}},
         Lines{"200 ready\r\n", kChallenge, "200 Logged in\r\n", "200 Account created\r\n200 Account created\r\n",
               "554 Refused\r\n", "200 Bye\r\n"},
         "Connecting to Quillon.\nCreating ann@example.com\nCreating bob@example.com\n" + completed +
             "0x80040119].\n",
         "Can not create: " + outOfStep + "'200 Account created'. [0x80040119]\n",
         0x19,
         Concat(kLogin, {kCreateBoth[0], std::string(kClosed)})},
        {"a reply before the first command",
         accounts,
         {{"users.csv", kTwoAccounts}},
         Lines{"200 ready\r\n+ \x1b[2J\r\n"},
         "Connecting to Quillon.\n" + completed + "0x80040119].\n",
         "Can not connect: " + outOfStep + "'+ \\027[2J'. [0x80040119]\n",
         0x19,
         {std::string(kClosed)}},
        {"empty CRAM-MD5 challenge",
         accounts,
         {{"users.csv", kTwoAccounts}},
         Lines{"200 ready\r\n", "+\r\n"},
         "Connecting to Quillon.\n" + completed + "0x80040119].\n",
         "Can not connect: The server's CRAM-MD5 challenge is empty. [0x80040119]\n",
         0x19,
         {"AUTH CRAM-MD5", std::string(kClosed)}},
        {"CRAM-MD5 challenge that is not Base64",
         accounts,
         {{"users.csv", kTwoAccounts}},
         Lines{"200 ready\r\n", "+ <1896.697170952@quillon.example>\r\n"},
         "Connecting to Quillon.\n" + completed + "0x80040119].\n",
         "Can not connect: The server's CRAM-MD5 challenge is not Base64. [0x80040119]\n",
         0x19,
         {"AUTH CRAM-MD5", std::string(kClosed)}},
        {"accounts file with a 50 MB account name",
         accounts,
         {{"users.csv", "account,dn,mailbox\r\n", kFiftyMegabytes, 'x', ",/o=Org/cn=x,x@example.com\r\n"}},
         std::nullopt,
         completed + "0x80004005].\n",
         "Invalid input line 2 in the accounts file users.csv.\n",
         5},
        {"accounts file with a 50 MB setting value",
         accounts,
         {{"users.csv", "account,dn,mailbox,RealName\r\nann,/o=Org/cn=ann,ann@example.com,\"", kFiftyMegabytes, 'x',
           "\"\r\n"}},
         std::nullopt,
         completed + "0x80004005].\n",
         "Invalid input line 2 in the accounts file users.csv.\n",
         5},
        {"accounts file whose header has 25 million settings",
         accounts,
         {{"users.csv", "account,dn,mailbox", kFiftyMegabytes / 2, ',', "\r\n"}},
         std::nullopt,
         completed + "0x80004005].\n",
         "Invalid input line 1 in the accounts file users.csv.\n",
         5},
        {"password dump with a 50 MB hash",
         passwords,
         {{"users.csv", kTwoAccounts}, {"dump.txt", "zed:1:L:N:::\r\nann:2:L:", kFiftyMegabytes, 'x', ":::\r\n"}},
         std::nullopt,
         completed + "0x80004005].\n",
         "Invalid input line 2 in the password dump file dump.txt.\n",
         5},
        {"password dump with a 50 MB line of another user, passed on the way",
         passwords,
         {{"users.csv", kTwoAccounts},
          {"dump.txt", "zed:1:", kFiftyMegabytes, 'x', ":N:::\nann:2:L:0123456789ABCDEF0123456789ABCDEF:::\n"}},
         Lines{"200 ready\r\n", kChallenge, "200 Logged in\r\n", "200 Account updated\r\n", "200 Bye\r\n"},
         "Connecting to Quillon.\nSetting password for ann@example.com\n" + completed + "0].\n",
         "",
         0,
         Concat(kLogin, {"UpdateAccount ann@example.com {Password=\"\\002{MSNT}0123456789ABCDEF0123456789ABCDEF\";}",
                         "QUIT", std::string(kClosed)})},
    };
    for (const Case& example : cases) {
        SCOPED_TRACE(example.name);
        for (const InputFile& file : example.files)
            Write(work_.File(file.name), file);
        std::unique_ptr<ScriptedPeer> peer = example.replies ? StartPeer(*example.replies) : nullptr;
        // Port 1 on the loopback address has no listener.
        const ProcessResult result = Run(example, peer ? peer->Port() : 1);
        if (peer) {
            Release(*peer);
            peer->Join();
            EXPECT_EQ(Received(*peer), example.received);
        }
        for (const InputFile& file : example.files)
            std::filesystem::remove(work_.File(file.name));
        EXPECT_FALSE(result.timedOut) << "ex2qln did not end";
        EXPECT_EQ(result.standardOutput, e2e::Banner() + example.output);
        EXPECT_EQ(result.standardError, example.error);
        EXPECT_EQ(result.exitCode, example.exitCode);
        EXPECT_GT(result.maxResidentKilobytes, 0);
        EXPECT_LT(result.maxResidentKilobytes, kMemoryBoundKilobytes);
    }
    // The protocol trace holds the server's text escaped too.
    const std::string log = testsupport::ReadFile(temp_.File("ex2qln.log"));
    EXPECT_NE(log.find(">>>>>> 554 \\027]0;owned\\007\\027[2J"), std::string::npos);
    EXPECT_EQ(log.find_first_of("\x1b\x07"), std::string::npos);
}

} // namespace
