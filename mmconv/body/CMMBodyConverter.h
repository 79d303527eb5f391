// The body converter: plain text and HTML from an RTF body or a plain-text body, in a code page.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "mmconv/encoding/ByteStream.h"
#include "platform/base/HResult.h"

namespace mmconv {

// How the source is given: decompressed RTF, or plain text in a code page.
enum class BodySourceKind : unsigned { kRtf = 1, kPlainText = 5 };

class CMMBodyConverter {
public:
    // Largest source the stream forms read.
    static constexpr std::size_t kMaxSourceSize = std::size_t{256} << 20;

    // The plain text of the source in codePage, lines ended by CR LF. sourceCodePage is the code
    // page of a plain-text source (RTF names its own). Characters codePage cannot hold become "?".
    // Fails with the corrupt-data status for RTF that is not RTF or nests too deep, with E_FAIL when
    // a code page has no converter.
    static HRESULT ConvertToText(std::string_view source, BodySourceKind kind, unsigned sourceCodePage,
        unsigned codePage, std::string& text);

    // The HTML of the source in codePage: HTML encapsulated in RTF (\fromhtml1) as it was before
    // encapsulation; other RTF and plain text as a simple document. Characters codePage cannot hold
    // become numeric character references. Fails as ConvertToText does.
    static HRESULT ConvertToHtml(std::string_view source, BodySourceKind kind, unsigned sourceCodePage,
        unsigned codePage, std::string& html);

    // The same over streams: the source is read to its end (E_OUTOFMEMORY beyond kMaxSourceSize) and
    // the result written to sink.
    static HRESULT ConvertToText(ByteSource& source, BodySourceKind kind, unsigned sourceCodePage,
        unsigned codePage, ByteSink& sink);
    static HRESULT ConvertToHtml(ByteSource& source, BodySourceKind kind, unsigned sourceCodePage,
        unsigned codePage, ByteSink& sink);
};

} // namespace mmconv
