// MimeOutput: where a converted message is written. It gathers small writes in memory and hands
// them to an IStream in large pieces, or appends everything to a string.
#pragma once

#include <string>
#include <string_view>

#include <objidl.h>

#include "mmconv/encoding/ByteStream.h"

namespace mmconv {

class MimeOutput final : public ByteSink {
public:
    // Writes into a stream it does not own; Flush hands over what is still gathered.
    explicit MimeOutput(IStream* stream);
    // Appends to a string it does not own; nothing waits for Flush.
    explicit MimeOutput(std::string& target);
    MimeOutput(const MimeOutput&) = delete;
    MimeOutput& operator=(const MimeOutput&) = delete;

    // The first failure stays: later writes do nothing and return it.
    HRESULT Write(std::string_view bytes) override;
    // "name: value" and CR LF.
    HRESULT WriteHeader(std::string_view name, std::string_view value);
    HRESULT Flush();

private:
    static constexpr std::size_t kPieceSize = 64 * 1024;

    HRESULT WriteToStream(std::string_view bytes);

    IStream* stream_ = nullptr;
    std::string* target_ = nullptr;
    std::string pending_;
    HRESULT status_ = S_OK;
};

} // namespace mmconv
