// MacBinary data as Outlook keeps Macintosh files, and the AppleDouble header (RFC 1740) that
// carries their name, Finder information, dates and resource fork beside the data fork.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace mmconv {

// Whether PR_ATTACH_ENCODING names MacBinary (its object identifier 1.2.840.113556.3.11.1).
bool IsMacBinaryEncoding(std::span<const std::uint8_t> encoding);

struct MacBinaryFile {
    std::string name;                        // in the Macintosh character set, as stored
    std::array<std::uint8_t, 4> type{};
    std::array<std::uint8_t, 4> creator{};
    std::uint16_t finderFlags = 0;
    std::uint32_t created = 0;               // seconds since 1904
    std::uint32_t modified = 0;
    std::span<const std::uint8_t> dataFork;
    std::span<const std::uint8_t> resourceFork;
};

// Reads the 128-byte MacBinary header and finds the two forks; nothing when the header is not one
// or a fork runs past the data.
std::optional<MacBinaryFile> ParseMacBinary(std::span<const std::uint8_t> data);

// The application/applefile body: the AppleDouble header with the real name, the file dates, the
// Finder information and the resource fork.
std::vector<std::uint8_t> BuildAppleDouble(const MacBinaryFile& file);

} // namespace mmconv
