// The encoders' sink and source over MAPI's IStream, so that OutputEncodedData reads a property
// stream and writes into a message stream.
#pragma once

#include "mmconv/encoding/ByteStream.h"

#include <objidl.h>

namespace mmconv {

// Writes into an IStream it does not own; a short write is a failure (STG_E_MEDIUMFULL).
class IStreamSink final : public ByteSink {
public:
    explicit IStreamSink(IStream* stream) : stream_(stream) {}
    HRESULT Write(std::string_view bytes) override;

private:
    IStream* stream_;
};

// Reads from an IStream it does not own, from its current position.
class IStreamSource final : public ByteSource {
public:
    explicit IStreamSource(IStream* stream) : stream_(stream) {}
    HRESULT Read(std::span<std::uint8_t> buffer, std::size_t& bytesRead) override;

private:
    IStream* stream_;
};

} // namespace mmconv
