// Compression of RTF into the compressed-RTF form (LZFu, or the uncompressed MELA container).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/base/HResult.h"

namespace platform::rtf {

enum class RtfCompression { kCompressed, kUncompressed };

// The compressed-RTF value of rtf, header included. E_INVALIDARG when rtf is too large for the
// header's 32-bit sizes.
HRESULT CompressRtf(std::span<const std::uint8_t> rtf, std::vector<std::uint8_t>& output,
    RtfCompression compression = RtfCompression::kCompressed);

} // namespace platform::rtf
