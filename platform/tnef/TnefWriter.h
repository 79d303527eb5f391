// Lays out a TNEF stream in memory: the signature and key, then attributes with their checksums.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/base/LittleEndian.h"
#include "platform/tnef/TnefFormat.h"

#include <mapicode.h>

namespace platform::tnef {

// The sum of the bytes modulo 65536, as every attribute carries after its data.
std::uint16_t Checksum(std::span<const std::uint8_t> data);

// The integers of the layout are little-endian (platform/base/LittleEndian.h: AppendU16, ...).
void AppendBytes(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> bytes);
// Zero bytes up to the next multiple of four of the output's size.
void AppendPadding(std::vector<std::uint8_t>& out);

// What attAttachRenddata says about how an attachment is shown.
struct RenderData {
    std::uint16_t type = kRenderFile;
    std::uint32_t position = 0xFFFFFFFFu;  // no place in the body text
    std::uint16_t width = 32;
    std::uint16_t height = 32;
    std::uint32_t flags = 0;
};

class TnefWriter {
public:
    // Starts the stream in `output` (appended to) with the signature and `key`.
    TnefWriter(std::vector<std::uint8_t>& output, std::uint16_t key);

    // One attribute: level, identifier, data length, data, checksum. MAPI_E_TOO_BIG when the data
    // does not fit a 32-bit length.
    HRESULT Attribute(Level level, std::uint32_t id, std::span<const std::uint8_t> data);

    // attTnefVersion, attOemCodepage (the code page of the stream's 8-bit text) and, when the
    // class is not empty, attMessageClass with its terminating zero.
    HRESULT MessageHeader(std::uint32_t codePage, std::span<const std::uint8_t> messageClass);

    HRESULT AttachRenderData(const RenderData& render);

private:
    std::vector<std::uint8_t>& output_;
};

} // namespace platform::tnef
