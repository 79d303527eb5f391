// Tests that tell whether header text must be written as encoded words.
#pragma once

#include <string_view>

#include "mmconv/encoding/ByteStream.h"
#include "platform/base/HResult.h"

namespace mmconv {

// Narrow text needs encoding when a byte is below 0x20 (tab, CR and LF included), is 0x7F or is 0x80
// or above. Empty text never does.
bool IsNeededEncoding(std::string_view text);

// Wide text needs encoding when a character is below 0x20 or above 0x7E.
bool IsNeededEncodingW(std::u16string_view text);

// A stream needs encoding when one of its 2048-byte chunks does, each chunk tested up to its first
// zero byte. Reads from the current position on.
HRESULT IsNeededEncoding(ByteSource& source, bool& needed);

} // namespace mmconv
