// The need-for-encoding tests over narrow text, wide text and streams.
#include "mmconv/encoding/NeededEncoding.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace mmconv {
namespace {

constexpr std::size_t kStreamChunk = 2048;

} // namespace

bool IsNeededEncoding(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte >= 0x7F;
    });
}

bool IsNeededEncodingW(std::u16string_view text)
{
    return std::any_of(
        text.begin(), text.end(), [](char16_t c) { return c < 0x20 || c > 0x7E; });
}

HRESULT IsNeededEncoding(ByteSource& source, bool& needed)
{
    needed = false;
    std::array<std::uint8_t, kStreamChunk> chunk;
    for (;;) {
        std::size_t read = 0;
        const HRESULT hr = source.Read(chunk, read);
        if (FAILED(hr))
            return hr;
        if (read == 0)
            return S_OK;
        const auto* bytes = reinterpret_cast<const char*>(chunk.data());
        const std::string_view text(bytes, std::find(bytes, bytes + read, '\0') - bytes);
        if (IsNeededEncoding(text)) {
            needed = true;
            return S_OK;
        }
    }
}

} // namespace mmconv
