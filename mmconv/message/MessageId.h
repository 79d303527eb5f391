// The Message-Id value: the Internet message identifier, or the one Exchange keeps in the report
// tag of a message that asked for reports.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace mmconv {

// The Internet identifier as a msg-id ("<left@right>", brackets added where the stored value lacks
// them), or nothing when it is absent or not one. With PR_REPORT_TAG of at least 18 bytes that
// starts with "PCDFEB09" and a zero byte, has byte 9 equal to 1 and byte 11 equal to 2, and with
// n = byte 13 satisfies n + 25 < size, it is rebuilt: "<!&!", the Base64 of the bytes from offset
// n + 17 on, and the Internet identifier's domain part (from its last "@" to its end).
std::optional<std::string> BuildMessageId(std::optional<std::string_view> internetMessageId,
    std::optional<std::span<const std::uint8_t>> reportTag);

} // namespace mmconv
