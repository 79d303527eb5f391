// Fuzzes the quoted-printable decoder on any input, and checks the encoder's line layout and that
// its output decodes back unchanged, at a line length taken from the input.
#include "mmconv/encoding/QuotedPrintable.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const char> text(reinterpret_cast<const char*>(data), size);
    const std::size_t needed = mmconv::QuotedPrintableDecode(text, {});
    std::vector<std::uint8_t> decoded(needed);
    if (mmconv::QuotedPrintableDecode(text, decoded) != needed)
        std::abort();

    const std::size_t lineLength = size > 0 ? 4 + data[0] % 100 : 76;
    const std::span<const std::uint8_t> bytes(data, size);
    std::vector<char> encoded(mmconv::QuotedPrintableEncode(bytes, {}, lineLength));
    mmconv::QuotedPrintableEncode(bytes, encoded, lineLength);
    std::size_t column = 0;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '\r' && i + 1 < encoded.size() && encoded[i + 1] == '\n') {
            if (i > 0 && (encoded[i - 1] == ' ' || encoded[i - 1] == '\t'))
                std::abort();
            column = 0;
            ++i;
            continue;
        }
        if (++column > lineLength)
            std::abort();
    }
    std::vector<std::uint8_t> back(size);
    if (mmconv::QuotedPrintableDecode(encoded, back) != size
        || (size > 0 && std::memcmp(back.data(), data, size) != 0))
        std::abort();
    return 0;
}
