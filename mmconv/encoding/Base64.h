// Base64: the plain codec and the line-wrapping encoder for attachment and TNEF data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace mmconv {

// Base64 of the source with "=" padding and no line breaks. Returns the length written or, when the
// destination is too small, the length needed (and writes nothing).
std::size_t Base64Encode(std::span<const std::uint8_t> source, std::span<char> destination);

// Decodes Base64, ignoring characters outside the alphabet (line breaks) and stopping at the first
// "="; trailing bits that do not fill a byte are dropped. Returns the length written or, when the
// destination is too small, the length needed (and writes nothing).
std::size_t Base64Decode(std::span<const char> source, std::span<std::uint8_t> destination);

// Encodes a stream of pieces into lines of exactly lineLength characters; each line after the first
// is preceded by CR LF and the last line carries the rest without a line break.
class Base64LineEncoder {
public:
    explicit Base64LineEncoder(std::size_t lineLength = 76);

    // Appends the encoding of the next piece; up to two bytes wait for the next piece.
    void Encode(std::span<const std::uint8_t> piece, std::string& output);
    // Appends the last, padded group.
    void Finish(std::string& output);

private:
    void AppendWrapped(const char* characters, std::size_t count, std::string& output);

    std::size_t lineLength_;
    std::size_t column_ = 0;
    std::uint8_t pending_[3] = {};
    std::size_t pendingCount_ = 0;
};

} // namespace mmconv
