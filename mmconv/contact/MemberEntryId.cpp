// Wrapped member identifiers.
#include "mmconv/contact/MemberEntryId.h"

namespace mmconv {
namespace {

constexpr std::size_t kWrapHeader = 21;
constexpr std::size_t kTypeOctet = 20;
constexpr std::uint8_t kUnwrappable = 0xC2;

} // namespace

std::optional<std::span<const std::uint8_t>> UnwrapMemberEntryId(std::span<const std::uint8_t> entryId)
{
    if (entryId.size() <= kWrapHeader || entryId[kTypeOctet] == kUnwrappable)
        return std::nullopt;
    return entryId.subspan(kWrapHeader);
}

} // namespace mmconv
