// Decompression of compressed RTF, on demand (a reader) or all at once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/base/HResult.h"
#include "platform/rtf/CompressedRtf.h"

namespace platform::rtf {

// Decompresses as the caller reads, so that a caller that wants only the start of the RTF (the body
// type test) decodes only that much. The input is borrowed and must outlive the reader. Every
// failure is MAPI_E_CORRUPT_DATA; after one, Read keeps failing.
class RtfDecompressor {
public:
    // Checks the header and, for LZFu content, the CRC over the compressed bytes.
    HRESULT Open(std::span<const std::uint8_t> input, std::size_t maxRawSize = kDefaultMaxRawSize);

    // Fills buffer with the next RTF bytes; bytesRead is 0 only at the end. The output never
    // exceeds the header's raw size, and the end must come exactly at it.
    HRESULT Read(std::span<std::uint8_t> buffer, std::size_t& bytesRead);

    std::uint32_t RawSize() const { return header_.rawSize; }

private:
    HRESULT ReadCompressed(std::span<std::uint8_t> buffer, std::size_t& bytesRead);
    HRESULT NextToken();
    HRESULT Fail();
    void Emit(std::uint8_t byte, std::uint8_t* out);

    std::span<const std::uint8_t> content_;
    CompressedRtfHeader header_;
    bool open_ = false;
    bool failed_ = false;
    bool ended_ = false;
    std::size_t position_ = 0;   // next content byte
    std::size_t produced_ = 0;   // RTF bytes handed out so far
    unsigned control_ = 0;       // remaining flag bits of the current control byte
    unsigned controlBits_ = 0;
    std::size_t copyOffset_ = 0;  // source of the reference being copied
    std::size_t copyLeft_ = 0;
    std::size_t writeOffset_ = 0;
    std::array<std::uint8_t, kDictionarySize> dictionary_{};
};

// The whole RTF of a compressed-RTF value.
HRESULT DecompressRtf(std::span<const std::uint8_t> input, std::string& rtf,
    std::size_t maxRawSize = kDefaultMaxRawSize);

} // namespace platform::rtf
