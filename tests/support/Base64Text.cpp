// Base64 decoding for tests.
#include "tests/support/Base64Text.h"

#include <cstdint>

namespace testsupport {

std::string DecodeBase64(std::string_view text)
{
    static constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::uint32_t buffer = 0;
    int bits = 0;
    for (char c : text) {
        const std::size_t value = kAlphabet.find(c);
        if (value == std::string_view::npos)
            continue;
        buffer = buffer << 6 | static_cast<std::uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((buffer >> bits) & 0xFF));
        }
    }
    return out;
}

} // namespace testsupport
