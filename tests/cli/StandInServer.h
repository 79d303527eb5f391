// The Quillon stand-in server (tests/server) run as a child process on loopback for one test.
#pragma once

#include "tests/support/ProcessRunner.h"

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ex2qln::cli::testing {

// One line that the server received, as its command log records it.
struct ReceivedLine {
    std::string line;
    bool secure = false;
};

class StandInServer {
public:
    // Starts the server with the administrator postmaster:secret and `arguments` added; with
    // `tls`, a certificate for 127.0.0.1 is made first so that STLS works.
    explicit StandInServer(std::vector<std::string> arguments = {}, bool tls = false);
    StandInServer(const StandInServer&) = delete;
    StandInServer& operator=(const StandInServer&) = delete;
    ~StandInServer();

    bool Started() const { return port_ != 0; }
    std::uint32_t CliPort() const { return port_; }
    // The PEM file for the client to trust (with `tls`).
    std::string CertificatePath() const { return directory_.File("server.pem"); }
    // Every line received so far, in order, from the server's command log, with the bytes as sent.
    std::vector<ReceivedLine> Received() const;
    // The file in which the server keeps its accounts and groups.
    std::string StateFile() const { return directory_.File("state/state.json"); }

private:
    testsupport::TemporaryDirectory directory_;
    pid_t pid_ = -1;
    std::uint32_t port_ = 0;
};

} // namespace ex2qln::cli::testing
