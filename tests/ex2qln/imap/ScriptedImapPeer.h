// A scripted IMAP server end on 127.0.0.1 for the client tests: it plays a script on its own thread
// and records every line it receives.
#pragma once

#include "tests/support/LoopbackPeer.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/TlsTestPeer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace ex2qln::imap::testing {

// What the peer records when the client has closed the connection.
inline constexpr std::string_view kClosed = "<closed>";

class ScriptedImapPeer {
public:
    class Session {
    public:
        // The next line without its end; nullopt once the client has closed (or has been silent for
        // ten seconds, so that a broken test ends instead of hanging).
        std::optional<std::string> Read();
        // Writes `text`, every "{tag}" replaced by the tag of the last command line read.
        void Send(std::string_view text);
        // Reads one line, then writes `reply`.
        void Answer(std::string_view reply);
        // The TLS handshake as the server.
        bool StartTls();
        // Closes the connection from the server's side.
        void Drop();
        // Closes this connection and waits for the client's next one.
        void Reconnect();

    private:
        friend class ScriptedImapPeer;
        explicit Session(ScriptedImapPeer& peer);

        ScriptedImapPeer& peer_;
        std::unique_ptr<testsupport::ServerEnd> end_;
        std::string tag_;
        bool closed_ = false;
    };

    explicit ScriptedImapPeer(std::function<void(Session&)> script);
    ScriptedImapPeer(const ScriptedImapPeer&) = delete;
    ScriptedImapPeer& operator=(const ScriptedImapPeer&) = delete;
    ~ScriptedImapPeer() { Join(); }

    std::uint32_t Port() const { return listener_.Port(); }
    // The PEM file of the certificate that StartTls presents (for 127.0.0.1).
    const std::string& CertificatePath() const { return certificate_.PemPath(); }
    // Waits for the script to end.
    void Join();
    std::vector<std::string> Received() const;
    std::size_t ReceivedCount() const;

private:
    void Record(std::string line);
    void Accept(Session& session);

    testsupport::TemporaryDirectory directory_;
    testsupport::TestCertificate certificate_;
    testsupport::LoopbackListener listener_;
    mutable std::mutex mutex_;
    std::vector<std::string> received_;
    std::thread thread_;
};

} // namespace ex2qln::imap::testing
