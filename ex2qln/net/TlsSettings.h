// How the TLS client checks the server's certificate, and how long the connection waits for the server.
#pragma once

#include <chrono>
#include <string>

namespace ex2qln::net {

struct TlsSettings {
    static constexpr std::chrono::milliseconds kDefaultIoTimeout{std::chrono::seconds(300)};

    // Check the certificate chain and the host name. Off accepts any certificate.
    bool verifyPeer = true;
    // A PEM file whose certificates are trusted instead of the system's trust store; any
    // certificate in it may be the server's own or one of its issuers.
    std::string trustedCertificateFile;
    // Longest wait for one receive or send on the connection, in clear or under TLS, so that a
    // stalled server fails the call instead of holding the program for ever; 0 waits without end.
    std::chrono::milliseconds ioTimeout = kDefaultIoTimeout;
};

// The settings new TLS sockets start with; the driver sets them once from the command line.
void SetDefaultTlsSettings(const TlsSettings& settings);
TlsSettings DefaultTlsSettings();

} // namespace ex2qln::net
