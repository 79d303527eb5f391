// Byte helpers the compound-file and .msg tests share: test patterns, little-endian values decoded
// and encoded here independently of the product, UTF-16LE text, and the stream at a path.
#pragma once

#include "platform/cfb/CompoundFile.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace cfbtest {

using Bytes = std::vector<std::uint8_t>;

// `size` bytes that differ from their neighbours and, through `seed`, from other patterns.
Bytes Pattern(std::size_t size, std::uint8_t seed);

// `value` as `size` little-endian bytes.
Bytes Le(std::uint64_t value, std::size_t size = 8);
Bytes Concat(std::initializer_list<Bytes> parts);
Bytes Ascii(std::string_view text);
Bytes Utf16(std::u16string_view text);
// The UTF-16LE text followed by its two-byte terminator.
Bytes Utf16Terminated(std::u16string_view text);

// Properties of the .msg model: an integer value and a binary one, with the flags a writer gives.
platform::cfb::MsgProperty Integer(std::uint32_t tag, std::int64_t value, std::uint32_t flags = 6);
platform::cfb::MsgProperty Binary(std::uint32_t tag, Bytes value);

std::uint16_t U16(const Bytes& bytes, std::size_t offset);
std::uint32_t U32(const Bytes& bytes, std::size_t offset);

// The stream at `path` ("a", "b", "c" for a/b/c) of an opened file, or of a file image; a missing
// entry or an unreadable stream fails the calling test and yields no bytes.
Bytes StreamAt(const platform::cfb::CompoundFile& file, const std::vector<std::string>& path);
Bytes StreamAt(const Bytes& image, const std::vector<std::string>& path);

} // namespace cfbtest
