// Small text forms of content-line values: identifiers in hexadecimal, stored text without the
// characters a content line cannot carry, stored octets as bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace mmconv {

// Upper-case hexadecimal, two digits per octet.
std::string HexText(std::string_view octets);

// The text without control characters (which would end or break a content line) and without the
// characters of `alsoLeftOut`.
std::string WithoutControls(std::string_view text, std::string_view alsoLeftOut = {});

inline std::span<const std::uint8_t> AsBytes(std::string_view data)
{
    return {reinterpret_cast<const std::uint8_t*>(data.data()), data.size()};
}

} // namespace mmconv
