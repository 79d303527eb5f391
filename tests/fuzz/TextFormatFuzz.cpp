// Fuzzes the formatting of text templates such as a language file may hold.
#include "ex2qln/net/TextFormat.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view format(reinterpret_cast<const char*>(data), size);
    const std::int32_t number = size > 0 ? static_cast<std::int32_t>(data[0]) * -16777259 : 0;
    ex2qln::net::FormatText(format, {"host", number, 106u, format, number});
    return 0;
}
