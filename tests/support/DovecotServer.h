// A real Dovecot IMAP server for one test: started unprivileged on a free loopback port with a
// generated configuration under a temporary directory (passwd-file accounts, an administrator who
// reaches every account's folders as "~account/path", METADATA, quotas, STARTTLS with a test
// certificate).
#pragma once

#include "tests/support/TemporaryDirectory.h"

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct DovecotAccount {
    std::string name;      // the login name, also the "account" of "~account/path"
    std::string password;
    std::string quota{};   // a storage limit such as "40K"; none when empty
};

class DovecotServer {
public:
    static constexpr const char* kProgram = "/usr/sbin/dovecot";
    // Whether Dovecot's IMAP server is installed (Debian's dovecot-imapd).
    static bool Installed();

    // Starts the server with `accounts` and `administrator`, whose rights reach every account's
    // folders. Dovecot counts what the administrator appends to them against the administrator's
    // quota, not the account's.
    DovecotServer(std::vector<DovecotAccount> accounts, DovecotAccount administrator);
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;
    // Stops the server and waits for it.
    ~DovecotServer();

    bool Started() const { return started_; }
    std::uint32_t ImapPort() const { return port_; }
    // The PEM file for the client to trust.
    std::string CertificatePath() const { return directory_.File("server.pem"); }
    // The server's log, for a failing test's message.
    std::string Log() const;

private:
    bool WriteConfiguration(const std::vector<DovecotAccount>& accounts, const std::string& administrator);
    bool Start();

    TemporaryDirectory directory_;
    pid_t pid_ = -1;
    bool started_ = false;
    std::uint32_t port_ = 0;
};

} // namespace testsupport
