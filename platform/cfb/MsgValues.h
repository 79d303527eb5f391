// Property values from their stored little-endian bytes, as .msg files and data files keep them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace platform::cfb {

// Drops the terminating zero bytes of an 8-bit string.
void StripTrailingZeros(std::vector<std::uint8_t>& bytes);

// UTF-16LE bytes as text, without its terminating zeros.
std::u16string ToUtf16(std::span<const std::uint8_t> bytes);

// A fixed-size value of `type` from its bytes (at least 8 readable; shorter values padded):
// integers, booleans, currency and times go to `integer`, floating-point values to `real`.
void SetFixedValue(std::uint16_t type, std::span<const std::uint8_t> value, std::int64_t& integer, double& real);

} // namespace platform::cfb
