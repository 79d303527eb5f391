// Fuzzes compressed-RTF decompression: any input as it is and with a header made consistent with
// it (so that the token decoder is reached past the CRC check), reading all at once and on demand;
// and the compressor, whose output must decompress back to its input.
#include "platform/rtf/RtfCompressor.h"
#include "platform/rtf/RtfDecompressor.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

namespace {

using namespace platform::rtf;

void Decompress(std::span<const std::uint8_t> input)
{
    std::string all;
    const HRESULT allResult = DecompressRtf(input, all);
    if (FAILED(allResult) && allResult != MAPI_E_CORRUPT_DATA)
        std::abort();

    // On demand in pieces of 3 bytes: the same bytes, or a failure where reading all failed.
    RtfDecompressor reader;
    std::string pieces;
    HRESULT hr = reader.Open(input);
    std::uint8_t buffer[3];
    std::size_t count = 0;
    while (SUCCEEDED(hr)) {
        hr = reader.Read(buffer, count);
        if (SUCCEEDED(hr) && count == 0)
            break;
        pieces.append(reinterpret_cast<const char*>(buffer), count);
        if (pieces.size() > reader.RawSize())
            std::abort();
    }
    if (SUCCEEDED(allResult) != SUCCEEDED(hr) || (SUCCEEDED(hr) && pieces != all))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> input(data, size);
    Decompress(input);

    if (size >= kHeaderSize) {
        std::vector<std::uint8_t> patched(data, data + size);
        const std::uint32_t compressedSize = static_cast<std::uint32_t>(size - 4);
        const std::uint32_t crc = ComputeRtfCrc(input.subspan(kHeaderSize));
        for (int i = 0; i < 4; ++i) {
            patched[i] = static_cast<std::uint8_t>(compressedSize >> (8 * i));
            patched[12 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
        }
        Decompress(patched);
    }

    std::vector<std::uint8_t> compressed;
    std::string back;
    if (FAILED(CompressRtf(input, compressed)) || FAILED(DecompressRtf(compressed, back))
        || back != std::string(reinterpret_cast<const char*>(data), size))
        std::abort();
    return 0;
}
