// How the TLS client checks the server's certificate.
#pragma once

#include <string>

namespace ex2qln::net {

struct TlsSettings {
    // Check the certificate chain and the host name. Off accepts any certificate.
    bool verifyPeer = true;
    // A PEM file whose certificates are trusted instead of the system's trust store; any
    // certificate in it may be the server's own or one of its issuers.
    std::string trustedCertificateFile;
};

// The settings new TLS sockets start with; the driver sets them once from the command line.
void SetDefaultTlsSettings(const TlsSettings& settings);
TlsSettings DefaultTlsSettings();

} // namespace ex2qln::net
