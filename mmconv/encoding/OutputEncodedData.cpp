// The transfer-encoding pump between a source stream and an output stream.
#include "mmconv/encoding/OutputEncodedData.h"

#include <memory>
#include <new>
#include <span>
#include <string>

#include "mmconv/encoding/Base64.h"
#include "mmconv/encoding/ConversionTrace.h"
#include "mmconv/encoding/QuotedPrintable.h"

namespace mmconv {
namespace {

constexpr std::size_t kBase64Piece = 3 * 65536;
constexpr std::size_t kCopyPiece = 65536;

// Encoder adapter: the Base64 and quoted-printable encoders, and the plain copy.
struct CopyEncoder {
    void Encode(std::span<const std::uint8_t> piece, std::string& output)
    {
        output.append(reinterpret_cast<const char*>(piece.data()), piece.size());
    }
    void Finish(std::string&) {}
};

template <class Encoder>
HRESULT Pump(ByteSink& output, ByteSource& source, Encoder& encoder, std::size_t pieceSize,
    bool dropFinalZero)
{
    // Not cleared first: only what the source reads into it is used.
    const auto piece = std::make_unique_for_overwrite<std::uint8_t[]>(pieceSize);
    std::string encoded;
    for (;;) {
        std::size_t read = 0;
        HRESULT hr = source.Read(std::span(piece.get(), pieceSize), read);
        if (FAILED(hr))
            return hr;
        if (read == 0)
            break;
        if (dropFinalZero && read < pieceSize && piece[read - 1] == 0)
            --read;
        encoded.clear();
        encoder.Encode(std::span<const std::uint8_t>(piece.get(), read), encoded);
        hr = output.Write(encoded);
        if (FAILED(hr))
            return hr;
    }
    encoded.clear();
    encoder.Finish(encoded);
    return encoded.empty() ? S_OK : output.Write(encoded);
}

} // namespace

std::size_t EncodedLineLength(bool wrap, std::optional<std::uint32_t> plainWrapLen)
{
    if (wrap && plainWrapLen.has_value() && *plainWrapLen >= 3 && *plainWrapLen <= 3999)
        return *plainWrapLen;
    return kDefaultLineLength;
}

HRESULT OutputEncodedData(ByteSink& output, ByteSource& source, int mode, bool wrap,
    std::optional<std::uint32_t> plainWrapLen)
{
    TraceConversion("OutputEncodedData(mode=%d)\n", mode);
    const std::size_t lineLength = EncodedLineLength(wrap, plainWrapLen);
    try {
        switch (static_cast<TransferMode>(mode)) {
        case TransferMode::Base64: {
            Base64LineEncoder encoder(lineLength);
            return Pump(output, source, encoder, kBase64Piece, false);
        }
        case TransferMode::QuotedPrintable: {
            QuotedPrintableEncoder encoder(lineLength);
            return Pump(output, source, encoder, kQuotedPrintablePiece, true);
        }
        case TransferMode::Unchanged: {
            CopyEncoder encoder;
            return Pump(output, source, encoder, kCopyPiece, false);
        }
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return E_INVALIDARG;
}

} // namespace mmconv
