// Fuzzes the readers of a contact's and a list's binary data and the card's value writer: the
// certificate blob walk (an entry found lies inside the blob), wrapped member identifiers (the
// inner identifier lies inside the outer one), the photo type, the report kind of a class, and the
// quoted-printable values of a card (no line longer than 75 octets; decoding gives the value back).
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "mmconv/contact/ContactPhoto.h"
#include "mmconv/contact/MemberEntryId.h"
#include "mmconv/contact/UserCertificate.h"
#include "mmconv/contact/VCardWriter.h"
#include "mmconv/encoding/QuotedPrintable.h"
#include "mmconv/message/ReportMsg.h"

namespace {

bool Inside(std::span<const std::uint8_t> part, std::span<const std::uint8_t> whole)
{
    return part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size();
}

void CheckCardValue(std::string_view value, std::size_t column)
{
    std::string written;
    mmconv::EncodeQPAndOutput(written, value, column);
    std::size_t lineStart = 0;
    for (std::size_t end = written.find("\r\n"); ; end = written.find("\r\n", lineStart)) {
        const std::size_t length = (end == std::string::npos ? written.size() : end) - lineStart + (lineStart == 0 ? column : 0);
        if (length > mmconv::kCardLineOctets)
            std::abort();
        if (end == std::string::npos)
            break;
        lineStart = end + 2;
    }
    std::vector<std::uint8_t> decoded(written.size());
    decoded.resize(mmconv::QuotedPrintableDecode(written, decoded));
    if (std::string(decoded.begin(), decoded.end()) != value)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    if (const std::optional<mmconv::CertificateEntry> entry = mmconv::FindCertificateEntry(bytes)) {
        if (!Inside(entry->value, bytes))
            std::abort();
    }
    if (const std::optional<std::span<const std::uint8_t>> inner = mmconv::UnwrapMemberEntryId(bytes)) {
        if (!Inside(*inner, bytes) || inner->empty())
            std::abort();
    }
    mmconv::PhotoType(bytes);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    mmconv::ReportKindOfClass(text);
    CheckCardValue(text, size > 0 ? data[0] % 70 : 0);
    return 0;
}
