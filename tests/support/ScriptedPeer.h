// A scripted server end on 127.0.0.1 for the client tests (IMAP, the CLI, and the program's hostile
// peers): it plays a script on its own thread, byte for byte, and records every line it receives.
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

namespace testsupport {

// What the peer records when the client has closed the connection.
inline constexpr std::string_view kClosed = "<closed>";

class ScriptedPeer {
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
        friend class ScriptedPeer;
        explicit Session(ScriptedPeer& peer);

        ScriptedPeer& peer_;
        std::unique_ptr<ServerEnd> end_;
        std::string tag_;
        bool closed_ = false;
    };

    explicit ScriptedPeer(std::function<void(Session&)> script);
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;
    ~ScriptedPeer() { Join(); }

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

    TemporaryDirectory directory_;
    TestCertificate certificate_;
    LoopbackListener listener_;
    mutable std::mutex mutex_;
    std::vector<std::string> received_;
    std::thread thread_;
};

} // namespace testsupport
