// The IMAP relay (tests/server/imap_relay.py) run as a child process in front of a server: it keeps
// every APPEND a client sends and can drop the connection at a given APPEND.
#pragma once

#include "tests/support/TemporaryDirectory.h"

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// One APPEND as the client sent it.
struct RelayedAppend {
    std::string folder;  // the command's folder argument, unquoted
    std::string bytes;   // the literal
};

class ImapRelay {
public:
    // Relays to 127.0.0.1:`targetPort`; with `dropAtAppend` > 0 that APPEND (counted from 1 over
    // all connections) closes its connection instead of reaching the server; `addedCapability`, when
    // given, is added to the server's CAPABILITY lines.
    explicit ImapRelay(std::uint32_t targetPort, int dropAtAppend = 0, const std::string& addedCapability = "");
    ImapRelay(const ImapRelay&) = delete;
    ImapRelay& operator=(const ImapRelay&) = delete;
    ~ImapRelay();

    bool Started() const { return port_ != 0; }
    std::uint32_t Port() const { return port_; }
    // The APPENDs that reached the server, in order.
    std::vector<RelayedAppend> Appends() const;
    // Every command line the clients sent (a literal's bytes left out), in order.
    std::string Commands() const;

private:
    TemporaryDirectory directory_;
    pid_t pid_ = -1;
    std::uint32_t port_ = 0;
};

} // namespace testsupport
