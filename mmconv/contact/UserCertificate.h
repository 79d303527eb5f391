// The entries of one value of a contact's certificate property (PR_USER_X509_CERTIFICATE): a run of
// entries, each a 16-bit tag, a 16-bit length that counts the 4-octet entry header, and the value.
// Every read is bounds-checked; a malformed blob gives nothing, never a fault.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace mmconv {

inline constexpr std::uint16_t kCertificateTagDer = 3;    // the certificate itself, DER
inline constexpr std::uint16_t kCertificateTagHash = 34;  // the SHA-1 hash of a certificate in a store

struct CertificateEntry {
    std::uint16_t tag = 0;
    std::span<const std::uint8_t> value;
};

// The first entry of tag 3 or 34, walking the entries by their lengths; nothing when the walk meets
// neither, or an entry shorter than its header or running past the end of the blob.
std::optional<CertificateEntry> FindCertificateEntry(std::span<const std::uint8_t> blob);

} // namespace mmconv
