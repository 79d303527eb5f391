// Property values from their stored bytes.
#include "platform/cfb/MsgValues.h"

#include "platform/base/LittleEndian.h"

#include <cstring>

#include <mapidefs.h>

namespace platform::cfb {

void StripTrailingZeros(std::vector<std::uint8_t>& bytes)
{
    while (!bytes.empty() && bytes.back() == 0)
        bytes.pop_back();
}

std::u16string ToUtf16(std::span<const std::uint8_t> bytes)
{
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text += static_cast<char16_t>(ReadU16(bytes, i));
    while (!text.empty() && text.back() == u'\0')
        text.pop_back();
    return text;
}


void SetFixedValue(std::uint16_t type, std::span<const std::uint8_t> value, std::int64_t& integer, double& real)
{
    switch (type) {
    case PT_I2:
        integer = static_cast<std::int16_t>(ReadU16(value, 0));
        return;
    case PT_LONG:
    case PT_ERROR:
        integer = static_cast<std::int32_t>(ReadU32(value, 0));
        return;
    case PT_BOOLEAN:
        integer = value[0] != 0 ? 1 : 0;
        return;
    case PT_FLOAT: {
        float number = 0;
        std::uint32_t bits = ReadU32(value, 0);
        std::memcpy(&number, &bits, sizeof number);
        real = number;
        return;
    }
    case PT_DOUBLE:
    case PT_APPTIME: {
        std::uint64_t bits = ReadU64(value, 0);
        std::memcpy(&real, &bits, sizeof real);
        return;
    }
    case PT_CURRENCY:
    case PT_I8:
    case PT_SYSTIME:
        integer = static_cast<std::int64_t>(ReadU64(value, 0));
        return;
    default:
        return;
    }
}

} // namespace platform::cfb
