// Starting and stopping the Python stand-in server, and reading its command log.
#include "tests/support/StandInServer.h"

#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace testsupport {
namespace {

const std::string kServerScript = std::string(EX2QLN_SOURCE_DIR) + "/tests/server/quillon_server.py";

bool MakeCertificate(const testsupport::TemporaryDirectory& directory)
{
    testsupport::ProcessRun run;
    run.program = "/usr/bin/openssl";
    run.arguments = {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-days", "1",
                     "-subj", "/CN=Quillon test", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost",
                     "-keyout", directory.File("server.key"), "-out", directory.File("server.pem")};
    return testsupport::RunProcess(run).exitCode == 0;
}

// Appends the UTF-8 form of `code`; a lone low surrogate from U+DC80 to U+DCFF is the byte that the
// server could not decode (Python's surrogateescape), so it is given back as that byte.
void AppendCodePoint(std::string& text, std::uint32_t code)
{
    if (code >= 0xDC80 && code <= 0xDCFF) {
        text += static_cast<char>(code - 0xDC00);
    } else if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        text += static_cast<char>(0xE0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (code >> 18));
        text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The four hexadecimal digits of a "\u" escape at `position` (just after the "u"); moves past them.
std::uint32_t HexUnit(const std::string& object, std::size_t& position)
{
    const std::uint32_t unit = static_cast<std::uint32_t>(std::stoul(object.substr(position, 4), nullptr, 16));
    position += 4;
    return unit;
}

// The value of "key": in one JSON object of the command log (strings and true/false only).
std::string JsonValue(const std::string& object, const std::string& key)
{
    const std::string marker = "\"" + key + "\": ";
    std::size_t position = object.find(marker);
    if (position == std::string::npos)
        return {};
    position += marker.size();
    if (object[position] != '"')
        return object.substr(position, object.find_first_of(",}", position) - position);
    std::string value;
    ++position;
    while (position < object.size() && object[position] != '"') {
        char character = object[position++];
        if (character != '\\' || position >= object.size()) {
            value += character;
            continue;
        }
        character = object[position++];
        if (character == 'u' && position + 4 <= object.size()) {
            std::uint32_t code = HexUnit(object, position);
            // A surrogate pair: the escape of the low half follows at once.
            if (code >= 0xD800 && code < 0xDC00 && object.compare(position, 2, "\\u") == 0) {
                position += 2;
                code = 0x10000 + ((code - 0xD800) << 10) + (HexUnit(object, position) - 0xDC00);
            }
            AppendCodePoint(value, code);
            continue;
        }
        switch (character) {
        case 'n': value += '\n'; break;
        case 'r': value += '\r'; break;
        case 't': value += '\t'; break;
        case 'b': value += '\b'; break;
        case 'f': value += '\f'; break;
        default: value += character; break;
        }
    }
    return value;
}

// The port of `side` in the server's port line ("cli=P imap=P imaps=P"); 0 when it is not served.
std::uint32_t PortOf(const std::string& ports, const std::string& side)
{
    const std::string marker = side + "=";
    for (std::size_t at = ports.find(marker); at != std::string::npos; at = ports.find(marker, at + 1)) {
        if (at == 0 || ports[at - 1] == ' ')
            return static_cast<std::uint32_t>(std::stoul(ports.substr(at + marker.size())));
    }
    return 0;
}

} // namespace

StandInServer::StandInServer(std::vector<std::string> arguments, bool tls)
    : StandInServer(StandInOptions{.arguments = std::move(arguments), .tls = tls})
{
}

StandInServer::StandInServer(StandInOptions options)
{
    const std::string portFile = directory_.File("ports");
    std::vector<std::string> command = {"/usr/bin/python3", kServerScript, "--state-dir", StateDirectory(),
                                        "--port-file", portFile, "--admin", "postmaster:secret",
                                        "--protocols", options.protocols};
    if (options.tls) {
        if (!MakeCertificate(directory_)) {
            ADD_FAILURE() << "openssl could not make a test certificate";
            return;
        }
        command.insert(command.end(), {"--cert", CertificatePath(), "--key", directory_.File("server.key")});
    }
    if (!options.initialState.empty()) {
        ::mkdir(StateDirectory().c_str(), 0700);
        testsupport::WriteFile(StateFile(), options.initialState);
    }
    command.insert(command.end(), options.arguments.begin(), options.arguments.end());

    std::vector<char*> argv;
    for (std::string& argument : command)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment = {"PYTHONDONTWRITEBYTECODE=1"};
    for (char** variable = environ; *variable != nullptr; ++variable)
        environment.emplace_back(*variable);
    std::vector<char*> envp;
    for (std::string& variable : environment)
        envp.push_back(variable.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const int error = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        pid_ = -1;
        ADD_FAILURE() << "cannot start " << kServerScript;
        return;
    }
    // The server writes the port file, a whole line at once, once it listens.
    for (int attempt = 0; attempt < 1000 && !started_; ++attempt) {
        const std::string ports = testsupport::ReadFile(portFile);
        if (ports.find('\n') != std::string::npos) {
            cliPort_ = PortOf(ports, "cli");
            imapPort_ = PortOf(ports, "imap");
            imapsPort_ = PortOf(ports, "imaps");
            started_ = true;
            break;
        }
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!started_)
        ADD_FAILURE() << "the stand-in server did not start";
}

StandInServer::~StandInServer()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
}

std::string StandInServer::StateListing() const
{
    ProcessRun run;
    run.program = "/usr/bin/python3";
    run.arguments = {"-c",
                     "import json, sys\n"
                     "state = json.load(open(sys.argv[1], encoding='utf-8'))\n"
                     "for kind in ('accounts', 'groups'):\n"
                     "    for name in sorted(state[kind]):\n"
                     "        record = json.dumps(state[kind][name], ensure_ascii=False, sort_keys=True)\n"
                     "        print(kind[:-1], name, record)\n",
                     StateFile()};
    run.environment = {{"PYTHONIOENCODING", "utf-8"}};
    run.timeout = std::chrono::seconds(30);
    const ProcessResult result = RunProcess(run);
    EXPECT_EQ(result.exitCode, 0) << result.standardError;
    return result.standardOutput;
}

std::vector<ReceivedLine> StandInServer::Received() const
{
    std::vector<ReceivedLine> lines;
    std::ifstream log(directory_.File("state/commands.log"));
    std::string object;
    while (std::getline(log, object)) {
        ReceivedLine line{JsonValue(object, "line"), JsonValue(object, "secure") == "true",
                          JsonValue(object, "protocol"), std::atoi(JsonValue(object, "session").c_str())};
        if (const std::string literal = JsonValue(object, "literal"); !literal.empty())
            line.literal = static_cast<std::size_t>(std::stoul(literal));
        lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace testsupport
