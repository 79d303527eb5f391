// The Quillon stand-in server (tests/server) run as a child process on loopback for one test.
#pragma once

#include "tests/support/TemporaryDirectory.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// One line that the server received, as its command log records it.
struct ReceivedLine {
    std::string line;
    bool secure = false;
    std::string protocol;               // "cli", "imap" or "imaps"
    int session = 0;                    // the connection, numbered by the server
    std::optional<std::size_t> literal{};  // set for the entry of a literal received (line empty)
};

// How the server is started.
struct StandInOptions {
    std::vector<std::string> arguments{};  // added to the command line
    // Make a certificate for 127.0.0.1 first, so that STLS, STARTTLS and the imaps side work.
    bool tls = false;
    std::string protocols = "cli";         // the sides to serve ("cli,imap,imaps")
    std::string initialState{};            // written as state.json before the start when not empty
};

class StandInServer {
public:
    // Starts the server with the administrator postmaster:secret and `arguments` added; with
    // `tls`, a certificate for 127.0.0.1 is made first so that STLS works.
    explicit StandInServer(std::vector<std::string> arguments = {}, bool tls = false);
    explicit StandInServer(StandInOptions options);
    StandInServer(const StandInServer&) = delete;
    StandInServer& operator=(const StandInServer&) = delete;
    ~StandInServer();

    bool Started() const { return started_; }
    // The port of each side served, 0 for a side that is not.
    std::uint32_t CliPort() const { return cliPort_; }
    std::uint32_t ImapPort() const { return imapPort_; }
    std::uint32_t ImapsPort() const { return imapsPort_; }
    // The PEM file for the client to trust (with `tls`).
    std::string CertificatePath() const { return directory_.File("server.pem"); }
    // Every line received so far, in order, from the server's command log, with the bytes as sent.
    std::vector<ReceivedLine> Received() const;
    // The file in which the server keeps its accounts and groups.
    std::string StateFile() const { return directory_.File("state/state.json"); }
    // Those accounts and groups, sorted, one per line: kind ("account" or "group"), name and the
    // stored record as JSON with sorted keys; a test failure when the file cannot be read.
    std::string StateListing() const;
    // The state directory, with the IMAP side's folders and messages under mail/.
    std::string StateDirectory() const { return directory_.File("state"); }

private:
    testsupport::TemporaryDirectory directory_;
    pid_t pid_ = -1;
    bool started_ = false;
    std::uint32_t cliPort_ = 0;
    std::uint32_t imapPort_ = 0;
    std::uint32_t imapsPort_ = 0;
};

} // namespace testsupport
