// Walking the entries of a certificate blob.
#include "mmconv/contact/UserCertificate.h"

namespace mmconv {
namespace {

constexpr std::size_t kEntryHeader = 4;

std::uint16_t Little16(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

} // namespace

std::optional<CertificateEntry> FindCertificateEntry(std::span<const std::uint8_t> blob)
{
    std::size_t at = 0;
    while (blob.size() - at >= kEntryHeader) {
        const std::uint16_t tag = Little16(blob, at);
        const std::size_t length = Little16(blob, at + 2);
        if (length < kEntryHeader || length > blob.size() - at)
            return std::nullopt;
        if (tag == kCertificateTagDer || tag == kCertificateTagHash)
            return CertificateEntry{tag, blob.subspan(at + kEntryHeader, length - kEntryHeader)};
        at += length;
    }
    return std::nullopt;
}

} // namespace mmconv
