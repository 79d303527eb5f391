// Decoding single and multi-valued property values of every type.
#include "platform/pst/PropertyDecoding.h"

#include "platform/base/LittleEndian.h"
#include "platform/cfb/MsgValues.h"
#include "platform/pst/PropertyTypes.h"
#include "platform/pst/PstError.h"

#include <algorithm>
#include <array>

namespace platform::pst {
namespace {

bool IsReal(std::uint16_t type)
{
    return type == PT_FLOAT || type == PT_DOUBLE || type == PT_APPTIME;
}

void DecodeFixed(std::uint16_t type, std::span<const std::uint8_t> bytes, std::int64_t& integer, double& real)
{
    std::array<std::uint8_t, 8> padded{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), padded.size()), padded.begin());
    cfb::SetFixedValue(type, padded, integer, real);
}

void DecodeSingle(std::uint16_t type, std::span<const std::uint8_t> value, cfb::MsgProperty& property)
{
    if (type == PT_UNICODE) {
        property.text = cfb::ToUtf16(value);
        return;
    }
    if (type == PT_STRING8) {
        property.bytes.assign(value.begin(), value.end());
        cfb::StripTrailingZeros(property.bytes);
        return;
    }
    const std::size_t size = FixedValueSize(type);
    if (size == 0 || type == PT_CLSID) {
        property.bytes.assign(value.begin(), value.end());
        return;
    }
    if (value.size() < size) {
        Corrupt("the value of property " + std::to_string(property.tag) + " is too short for its type");
    }
    DecodeFixed(type, value, property.integer, property.real);
}

void DecodeMultipleFixed(std::uint16_t base, std::size_t size, std::span<const std::uint8_t> value,
                         cfb::MsgProperty& property)
{
    for (std::size_t at = 0; at + size <= value.size(); at += size) {
        auto element = value.subspan(at, size);
        if (base == PT_CLSID) {
            property.byteValues.emplace_back(element.begin(), element.end());
            continue;
        }
        std::int64_t integer = 0;
        double real = 0;
        DecodeFixed(base, element, integer, real);
        if (IsReal(base)) {
            property.reals.push_back(real);
        } else {
            property.integers.push_back(integer);
        }
    }
}

// A count, the offsets of the elements and then the elements themselves.
void DecodeMultipleVariable(std::uint16_t base, std::span<const std::uint8_t> value, cfb::MsgProperty& property)
{
    if (value.empty()) {
        return;
    }
    if (value.size() < 4) {
        Corrupt("a multi-valued property is too short for its count");
    }
    const std::size_t count = ReadU32(value, 0);
    if (count > (value.size() - 4) / 4) {
        Corrupt("a multi-valued property claims more values than it holds");
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t begin = ReadU32(value, 4 + 4 * i);
        const std::size_t end = i + 1 < count ? ReadU32(value, 8 + 4 * i) : value.size();
        if (begin < 4 + 4 * count || begin > end || end > value.size()) {
            Corrupt("a value of a multi-valued property lies outside it");
        }
        Bytes element(value.begin() + static_cast<std::ptrdiff_t>(begin), value.begin() + static_cast<std::ptrdiff_t>(end));
        if (base == PT_UNICODE) {
            property.texts.push_back(cfb::ToUtf16(element));
            continue;
        }
        if (base == PT_STRING8) {
            cfb::StripTrailingZeros(element);
        }
        property.byteValues.push_back(std::move(element));
    }
}

} // namespace

cfb::MsgProperty DecodeProperty(const RawProperty& raw)
{
    cfb::MsgProperty property;
    DecodeProperty(raw.tag, raw.value, property);
    return property;
}

void DecodeProperty(std::uint32_t tag, std::span<const std::uint8_t> value, cfb::MsgProperty& property)
{
    property.tag = tag;
    const std::uint16_t type = property.Type();
    if (type == PT_OBJECT) {
        return;
    }
    if ((type & MV_FLAG) == 0) {
        DecodeSingle(type, value, property);
        return;
    }
    const auto base = static_cast<std::uint16_t>(type & ~MV_FLAG);
    if (std::size_t size = FixedValueSize(base); size != 0 && base != PT_BOOLEAN) {
        DecodeMultipleFixed(base, size, value, property);
    } else {
        DecodeMultipleVariable(base, value, property);
    }
}

} // namespace platform::pst
