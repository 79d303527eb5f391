// The Dovecot configuration and the server's life as a child process.
//
// The administrator logs in as an account of its own and reaches the others through a shared
// namespace with the prefix "~%%u/": "~alice/Sent" is alice's "Sent". The ACL plugin gives the
// owner and the administrator (and nobody else) every right on every folder through a global ACL
// file. Dovecot 2.3 can only list such a namespace with list = no, as its prefix does not end with
// the separator before the user's name; a folder is still found by LIST with its full name, except
// another user's INBOX, which is only reachable. The shared namespace keeps no private index
// (INDEXPVT), so that the flags the administrator stores, \Seen among them, are the owner's.
//
// Dovecot's processes refuse to run as root, so under root the whole server runs as "nobody",
// which then owns the directory; otherwise as the current user.
#include "tests/support/DovecotServer.h"

#include "tests/support/ProcessRunner.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace testsupport {
namespace {

struct RunAs {
    uid_t uid;
    gid_t gid;
    std::string user;
    std::string group;
};

RunAs ServerIdentity()
{
    const passwd* account = ::geteuid() == 0 ? ::getpwnam("nobody") : ::getpwuid(::geteuid());
    if (account == nullptr)
        return {::geteuid(), ::getegid(), "nobody", "nogroup"};
    const group* primary = ::getgrgid(account->pw_gid);
    return {account->pw_uid, account->pw_gid, account->pw_name, primary != nullptr ? primary->gr_name : "nogroup"};
}

// A port that was free a moment ago on 127.0.0.1.
std::uint32_t FreePort()
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    std::uint32_t port = 0;
    if (::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(socket);
    return port;
}

bool Accepts(std::uint32_t port)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool connected = ::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(socket);
    return connected;
}

bool MakeCertificate(const TemporaryDirectory& directory)
{
    ProcessRun run;
    run.program = "/usr/bin/openssl";
    run.arguments = {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-days", "1",
                     "-subj", "/CN=Dovecot test", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost",
                     "-keyout", directory.File("server.key"), "-out", directory.File("server.pem")};
    return RunProcess(run).exitCode == 0;
}

std::string Configuration(const std::string& d, const RunAs& as, std::uint32_t port)
{
    const std::string uid = std::to_string(as.uid);
    const std::string gid = std::to_string(as.gid);
    return "base_dir = " + d + "/run\n"
           "state_dir = " + d + "/state\n"
           "instance_name = ex2qln-test-" + std::to_string(port) + "\n"
           "listen = 127.0.0.1\n"
           "protocols = imap\n"
           "default_internal_user = " + as.user + "\n"
           "default_internal_group = " + as.group + "\n"
           "default_login_user = " + as.user + "\n"
           "first_valid_uid = " + uid + "\n"
           "last_valid_uid = " + uid + "\n"
           "first_valid_gid = " + gid + "\n"
           "log_path = " + d + "/dovecot.log\n"
           "ssl = yes\n"
           "ssl_cert = <" + d + "/server.pem\n"
           "ssl_key = <" + d + "/server.key\n"
           "auth_mechanisms = plain login cram-md5\n"
           "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN " + d + "/users\n}\n"
           "userdb {\n  driver = passwd-file\n  args = " + d + "/users\n"
           "  default_fields = uid=" + uid + " gid=" + gid + "\n}\n"
           "mail_location = sdbox:~/mail\n"
           "mail_attribute_dict = file:%h/attributes\n"
           "mail_plugins = acl quota\n"
           "namespace inbox {\n  inbox = yes\n  separator = /\n  prefix =\n}\n"
           "namespace users {\n  type = shared\n  separator = /\n  prefix = ~%%u/\n"
           "  location = sdbox:%%h/mail\n  subscriptions = no\n  list = no\n}\n"
           "protocol imap {\n  mail_plugins = $mail_plugins imap_acl imap_quota\n  imap_metadata = yes\n}\n"
           "plugin {\n  acl = vfile:" + d + "/global-acl\n  quota = count:Storage\n  quota_vsizes = yes\n}\n"
           "service imap-login {\n  chroot =\n  inet_listener imap {\n    address = 127.0.0.1\n    port = " +
           std::to_string(port) + "\n  }\n  inet_listener imaps {\n    port = 0\n  }\n}\n"
           "service anvil {\n  chroot =\n}\n"
           "service auth-worker {\n  user = $default_internal_user\n}\n";
}

} // namespace

bool DovecotServer::Installed() { return ::access(kProgram, X_OK) == 0; }

DovecotServer::DovecotServer(std::vector<DovecotAccount> accounts, DovecotAccount administrator)
{
    if (!Installed() || !MakeCertificate(directory_))
        return;
    accounts.push_back(administrator);
    // A port taken between the choice and the start makes the next attempt choose again.
    for (int attempt = 0; attempt < 3 && !started_; ++attempt) {
        port_ = FreePort();
        started_ = WriteConfiguration(accounts, administrator.name) && Start();
    }
}

DovecotServer::~DovecotServer()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
}

bool DovecotServer::WriteConfiguration(const std::vector<DovecotAccount>& accounts, const std::string& administrator)
{
    const std::string& d = directory_.Path();
    std::string users;
    for (const DovecotAccount& account : accounts) {
        users += account.name + ":{PLAIN}" + account.password + "::::" + d + "/home/" + account.name + "::";
        if (!account.quota.empty())
            users += "userdb_quota_rule=*:storage=" + account.quota;
        users += "\n";
    }
    directory_.Write("users", users);
    directory_.Write("global-acl", "* owner lrwstipekxa\n* user=" + administrator + " lrwstipekxa\n");
    const RunAs as = ServerIdentity();
    directory_.Write("dovecot.conf", Configuration(d, as, port_));
    std::error_code ignored;
    for (const char* sub : {"run", "state", "home"})
        std::filesystem::create_directories(directory_ / sub, ignored);
    if (::geteuid() == 0) {
        ::chmod(d.c_str(), 0755);
        for (const auto& entry : std::filesystem::recursive_directory_iterator(d))
            if (::lchown(entry.path().c_str(), as.uid, as.gid) != 0)
                return false;
        return ::chown(d.c_str(), as.uid, as.gid) == 0;
    }
    return true;
}

bool DovecotServer::Start()
{
    const RunAs as = ServerIdentity();
    const std::string configuration = directory_.File("dovecot.conf");
    const std::string output = directory_.File("output.log");
    pid_ = ::fork();
    if (pid_ < 0)
        return false;
    if (pid_ == 0) {
        const int log = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (log >= 0) {
            ::dup2(log, STDOUT_FILENO);
            ::dup2(log, STDERR_FILENO);
        }
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(as.gid) != 0 || ::setuid(as.uid) != 0))
            ::_exit(126);
        ::execl(kProgram, kProgram, "-F", "-c", configuration.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    for (int i = 0; i < 200; ++i) {
        if (Accepts(port_))
            return true;
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return false;
}

std::string DovecotServer::Log() const
{
    return ReadFile(directory_.File("output.log")) + ReadFile(directory_.File("dovecot.log"));
}

} // namespace testsupport
