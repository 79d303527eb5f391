// Byte helpers the compound-file and .msg tests share.
#include "tests/platform/cfb/TestBytes.h"

#include <gtest/gtest.h>

namespace cfbtest {

Bytes Pattern(std::size_t size, std::uint8_t seed)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i * 13 + i / 509);
    return bytes;
}

Bytes Le(std::uint64_t value, std::size_t size)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    return bytes;
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Ascii(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes Utf16(std::u16string_view text)
{
    Bytes bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

Bytes Utf16Terminated(std::u16string_view text) { return Concat({Utf16(text), Bytes{0, 0}}); }

std::uint16_t U16(const Bytes& bytes, std::size_t offset)
{
    return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

std::uint32_t U32(const Bytes& bytes, std::size_t offset)
{
    return static_cast<std::uint32_t>(bytes[offset]) | static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 16 | static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

Bytes StreamAt(const platform::cfb::CompoundFile& file, const std::vector<std::string>& path)
{
    const platform::cfb::DirectoryEntry* entry = &file.Root();
    for (const std::string& name : path) {
        entry = file.Find(*entry, name);
        if (entry == nullptr) {
            ADD_FAILURE() << "no entry " << name;
            return {};
        }
    }
    Bytes data;
    EXPECT_EQ(file.ReadStream(*entry, data), S_OK) << file.Error();
    return data;
}

Bytes StreamAt(const Bytes& image, const std::vector<std::string>& path)
{
    platform::cfb::CompoundFile file;
    if (file.Open(image) != S_OK) {
        ADD_FAILURE() << file.Error();
        return {};
    }
    return StreamAt(file, path);
}

platform::cfb::MsgProperty Integer(std::uint32_t tag, std::int64_t value, std::uint32_t flags)
{
    platform::cfb::MsgProperty property;
    property.tag = tag;
    property.flags = flags;
    property.integer = value;
    return property;
}

platform::cfb::MsgProperty Binary(std::uint32_t tag, Bytes value)
{
    platform::cfb::MsgProperty property;
    property.tag = tag;
    property.flags = 6;
    property.bytes = std::move(value);
    return property;
}

} // namespace cfbtest
