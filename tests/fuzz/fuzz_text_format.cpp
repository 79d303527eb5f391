// Fuzzes the formatting of text templates such as a language file may hold.
#include "ex2qln/net/TextFormat.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view format(reinterpret_cast<const char*>(data), size);
    // A status-like number that varies with the input; computed unsigned so that it cannot overflow.
    const auto number = static_cast<std::int32_t>(size > 0 ? data[0] * 0x01000003u + 0x80000000u : 0u);
    ex2qln::net::FormatText(format, {"host", number, 106u, format, number});
    return 0;
}
