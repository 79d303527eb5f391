// Message identifiers rebuilt from report tags.
#include "mmconv/message/MessageId.h"

#include <cstring>

#include "mmconv/encoding/Base64.h"

namespace mmconv {
namespace {

constexpr std::size_t kShortestReportTag = 18;
constexpr char kReportTagSignature[] = "PCDFEB09";  // followed by a zero byte

bool IsExchangeReportTag(std::span<const std::uint8_t> tag)
{
    if (tag.size() < kShortestReportTag || std::memcmp(tag.data(), kReportTagSignature, 9) != 0)
        return false;
    return tag[9] == 1 && tag[11] == 2 && static_cast<std::size_t>(tag[13]) + 25 < tag.size();
}

} // namespace

std::optional<std::string> BuildMessageId(std::optional<std::string_view> internetMessageId,
    std::optional<std::span<const std::uint8_t>> reportTag)
{
    const std::size_t at = internetMessageId ? internetMessageId->rfind('@') : std::string_view::npos;
    if (reportTag && IsExchangeReportTag(*reportTag) && at != std::string_view::npos) {
        const std::span<const std::uint8_t> identifier = reportTag->subspan(static_cast<std::size_t>((*reportTag)[13]) + 17);
        std::string encoded((identifier.size() + 2) / 3 * 4, '\0');
        Base64Encode(identifier, std::span(encoded.data(), encoded.size()));
        return "<!&!" + encoded + std::string(internetMessageId->substr(at));
    }
    if (internetMessageId && !internetMessageId->empty())
        return std::string(*internetMessageId);
    return std::nullopt;
}

} // namespace mmconv
