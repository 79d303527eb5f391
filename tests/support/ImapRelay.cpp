// Starting and stopping the relay, and reading the APPENDs it kept.
#include "tests/support/ImapRelay.h"

#include <nlohmann/json.hpp>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <sstream>
#include <thread>

extern char** environ;

namespace testsupport {
namespace {

const std::string kRelayScript = std::string(EX2QLN_SOURCE_DIR) + "/tests/server/imap_relay.py";

// The folder argument of "APPEND "folder" (flags) ...": a quoted string with its escapes.
std::string FolderOf(const std::string& command)
{
    std::string folder;
    std::size_t at = command.find('"');
    if (at == std::string::npos)
        return folder;
    for (++at; at < command.size() && command[at] != '"'; ++at) {
        if (command[at] == '\\' && at + 1 < command.size())
            ++at;
        folder += command[at];
    }
    return folder;
}

} // namespace

ImapRelay::ImapRelay(std::uint32_t targetPort, int dropAtAppend, const std::string& addedCapability)
{
    const std::string portFile = directory_.File("port");
    std::vector<std::string> arguments = {"/usr/bin/python3", kRelayScript, "--target-port", std::to_string(targetPort),
                                          "--port-file", portFile, "--record", directory_.Path(),
                                          "--drop-at-append", std::to_string(dropAtAppend), "--add-capability",
                                          addedCapability};
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        pid_ = -1;
        return;
    }
    for (int i = 0; i < 200 && port_ == 0; ++i) {
        const std::string port = ReadFile(portFile);
        if (port.find('\n') != std::string::npos)
            port_ = static_cast<std::uint32_t>(std::stoul(port));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

ImapRelay::~ImapRelay()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
}

std::string ImapRelay::Commands() const { return ReadFile(directory_.File("commands.log")); }

std::vector<RelayedAppend> ImapRelay::Appends() const
{
    std::vector<RelayedAppend> appends;
    std::istringstream index(ReadFile(directory_.File("appends.jsonl")));
    std::string line;
    while (std::getline(index, line)) {
        const nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
        if (entry.is_discarded())
            continue;
        appends.push_back({FolderOf(entry.value("command", "")), ReadFile(entry.value("file", ""))});
    }
    return appends;
}

} // namespace testsupport
