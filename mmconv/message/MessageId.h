// The Message-Id value: the Internet message identifier, or the one Exchange keeps in the report
// tag of a message that asked for reports.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace mmconv {

// From PR_REPORT_TAG of at least 18 bytes that starts with "PCDFEB09" and a zero byte, has byte 9
// equal to 1 and byte 11 equal to 2, and with n = byte 13 satisfies n + 25 < size: "<!&!", the
// Base64 of the bytes from offset n + 17 on, and the domain part of the Internet identifier (from
// its last "@" to its end). The rebuilt form is used only when that domain part exists, so that the
// value stays a valid identifier; otherwise the Internet identifier as it is, or nothing.
std::optional<std::string> BuildMessageId(std::optional<std::string_view> internetMessageId,
    std::optional<std::span<const std::uint8_t>> reportTag);

} // namespace mmconv
