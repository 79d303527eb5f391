// Text forms of property values in an organisation file: UTF-8, hexadecimal and Base64 bytes,
// GUIDs and ISO 8601 UTC times.
#pragma once

#include "platform/cfb/MsgModel.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::orgsource {

using Bytes = std::vector<std::uint8_t>;

// UTF-8 to UTF-16; nullopt for malformed UTF-8 (overlong forms, surrogates, truncated sequences).
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);

// Pairs of hexadecimal digits; blanks between pairs are allowed. nullopt for anything else.
std::optional<Bytes> DecodeHex(std::string_view text);

// Standard Base64 with optional padding; blanks and line ends are skipped. nullopt when malformed.
std::optional<Bytes> DecodeBase64(std::string_view text);

// "{00062002-0000-0000-C000-000000000046}" (braces optional) in the stored byte order of
// platform::cfb::Guid (the first three fields little-endian).
std::optional<cfb::Guid> ParseGuid(std::string_view text);
std::string FormatGuid(const cfb::Guid& guid);

// "YYYY-MM-DDThh:mm:ss[.fraction]Z" or "YYYY-MM-DD" (midnight UTC), years 1601 to 9999, as a
// FILETIME (100-nanosecond intervals since 1601-01-01 UTC).
std::optional<std::int64_t> ParseIsoTime(std::string_view text);

} // namespace platform::orgsource
