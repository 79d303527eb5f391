// Numbers of the socket's error texts in the localised string table.
#pragma once

namespace ex2qln::net {

inline constexpr unsigned kTextInsufficientMemory = 10000;  // "Insufficient memory"
inline constexpr unsigned kTextSendFailed = 10001;          // "... sending data through socket [%#x]"
inline constexpr unsigned kTextReceiveFailed = 10016;       // "... receiving data through socket [%#x]"
inline constexpr unsigned kTextHostNotFound = 10018;        // "Host not found: %s [%#x]"
inline constexpr unsigned kTextConnectFailed = 10020;       // "Unable to connect to host: %s:%ld [%#x]"
inline constexpr unsigned kTextCredentialsFailed = 10023;   // "Acquiring credentials failed [%#x]"
inline constexpr unsigned kTextNegotiationSendFailed = 10024;
inline constexpr unsigned kTextNegotiationFailed = 10025;   // "Security context negotiations failed [%#x]"
inline constexpr unsigned kTextNoDataToRead = 10026;        // "Socket error. No data to read [%#x]"
inline constexpr unsigned kTextServerClosedTls = 10027;
inline constexpr unsigned kTextTlsSequence = 10028;
inline constexpr unsigned kTextEncryptFailed = 10029;       // "Failed to encrypt message [%#x]"
// "Server certificate verification failed: %s. Trust a certificate file with --tls-ca=<file>,
// or turn the check off with --tls-no-verify [%#x]"
inline constexpr unsigned kTextCertificateRejected = 10030;

} // namespace ex2qln::net
