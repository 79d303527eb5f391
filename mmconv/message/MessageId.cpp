// Message identifiers rebuilt from report tags.
#include "mmconv/message/MessageId.h"

#include <cstring>

#include "mmconv/encoding/Base64.h"
#include "mmconv/message/AddressForm.h"

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

// The identifier as a msg-id: "<left@right>" with the syntax of an addr-spec inside the brackets
// (which a stored value may lack); nothing for a value that is not one.
std::optional<std::string> MsgId(std::string_view stored)
{
    while (!stored.empty() && (stored.front() == ' ' || stored.front() == '\t'))
        stored.remove_prefix(1);
    while (!stored.empty() && (stored.back() == ' ' || stored.back() == '\t'))
        stored.remove_suffix(1);
    if (stored.size() >= 2 && stored.front() == '<' && stored.back() == '>')
        stored = stored.substr(1, stored.size() - 2);
    if (!IsAddrSpec(std::u16string(stored.begin(), stored.end())))
        return std::nullopt;
    return "<" + std::string(stored) + ">";
}

} // namespace

std::optional<std::string> BuildMessageId(std::optional<std::string_view> internetMessageId,
    std::optional<std::span<const std::uint8_t>> reportTag)
{
    const std::optional<std::string> id = internetMessageId ? MsgId(*internetMessageId) : std::nullopt;
    if (!id)
        return std::nullopt;
    if (reportTag && IsExchangeReportTag(*reportTag)) {
        const std::span<const std::uint8_t> identifier = reportTag->subspan(static_cast<std::size_t>((*reportTag)[13]) + 17);
        std::string encoded((identifier.size() + 2) / 3 * 4, '\0');
        Base64Encode(identifier, std::span(encoded.data(), encoded.size()));
        return "<!&!" + encoded + id->substr(id->rfind('@'));
    }
    return id;
}

} // namespace mmconv
