// Quoted-printable: the line-layout encoder for body data and the plain codec.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace mmconv {

inline constexpr std::size_t kDefaultLineLength = 76;

// Encodes a stream of pieces. "=", control bytes and bytes from 0x80 up become "=XX" (upper-case
// hexadecimal); a CR LF pair stays a line break; lone CR and LF are escaped. Soft breaks "=" CR LF
// keep every line at lineLength - 1 characters or fewer before its "=", and never split an escape.
// Space and tab stay as they are, except right before a line break or at the very end, where a
// decoder would strip them: there they are escaped too.
class QuotedPrintableEncoder {
public:
    explicit QuotedPrintableEncoder(std::size_t lineLength = kDefaultLineLength);

    // Appends the encoding of the next piece; a CR or a blank whose fate depends on the next byte
    // waits for the next piece.
    void Encode(std::span<const std::uint8_t> piece, std::string& output);
    // Appends what still waits.
    void Finish(std::string& output);

    // Where the encoding stands between pieces.
    struct State {
        std::size_t maxColumn;      // characters a line may hold before a soft break's "="
        std::size_t column = 0;     // characters on the current line
        bool pendingCr = false;     // a CR whose partner decides between break and escape
        int pendingBlank = -1;      // a space or tab that must be escaped if a line end follows
    };

private:
    State state_;
};

// The whole source with the layout above. Returns the length written or, when the destination is
// too small, the length needed (the destination's content is then unspecified).
std::size_t QuotedPrintableEncode(std::span<const std::uint8_t> source, std::span<char> destination,
    std::size_t lineLength = kDefaultLineLength);

// Decodes quoted-printable: "=XX" (either case) becomes the byte, "=" before a line end (after
// optional blanks) is a soft break and vanishes, blanks before a line end are dropped, and any other
// "=" stays as it is. Line ends may be CR LF or LF and are written as they stand. Returns the length
// written or, when the destination is too small, the length needed (and writes nothing).
std::size_t QuotedPrintableDecode(std::span<const char> source, std::span<std::uint8_t> destination);

} // namespace mmconv
