// Fuzzes the Base64 decoder on any input, and checks that encoded data decodes back unchanged.
#include "mmconv/encoding/Base64.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const char> text(reinterpret_cast<const char*>(data), size);
    const std::size_t needed = mmconv::Base64Decode(text, {});
    std::vector<std::uint8_t> decoded(needed);
    if (mmconv::Base64Decode(text, decoded) != needed)
        std::abort();

    const std::span<const std::uint8_t> bytes(data, size);
    std::vector<char> encoded(mmconv::Base64Encode(bytes, {}));
    mmconv::Base64Encode(bytes, encoded);
    std::vector<std::uint8_t> back(size);
    if (mmconv::Base64Decode(encoded, back) != size
        || (size > 0 && std::memcmp(back.data(), data, size) != 0))
        std::abort();
    return 0;
}
