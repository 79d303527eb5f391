// Writing a whole source stream in a transfer encoding: Base64, quoted-printable or unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "mmconv/encoding/ByteStream.h"
#include "platform/base/HResult.h"

namespace mmconv {

enum class TransferMode : int { Base64 = 0, QuotedPrintable = 1, Unchanged = 2 };

// Quoted-printable source is read in pieces of this size.
inline constexpr std::size_t kQuotedPrintablePiece = 300000;

// The line length L: 76, or, when the caller asks for wrapping, the Outlook option "PlainWrapLen"
// if it lies between 3 and 3999.
std::size_t EncodedLineLength(bool wrap, std::optional<std::uint32_t> plainWrapLen);

// Writes the whole source to the output in the transfer encoding, with lines of
// EncodedLineLength(wrap, plainWrapLen). Base64 ends without a line break. In quoted-printable a zero
// byte that ends a piece shorter than the piece size is dropped (the terminator of text bodies).
// Fails with the first failure of the source or the output, or E_INVALIDARG for an unknown mode.
HRESULT OutputEncodedData(ByteSink& output, ByteSource& source, int mode, bool wrap,
    std::optional<std::uint32_t> plainWrapLen = std::nullopt);

} // namespace mmconv
