// The body converter over the RTF reader and its three writers, with the final code-page step.
#include "mmconv/body/CMMBodyConverter.h"

#include <array>
#include <cstdint>

#include "mmconv/body/HtmlDeencapsulator.h"
#include "mmconv/body/RtfHtmlWriter.h"
#include "mmconv/body/RtfReader.h"
#include "mmconv/body/RtfTextWriter.h"
#include "mmconv/encoding/CodePageConversion.h"
#include "platform/locale/CodePages.h"

namespace mmconv {
namespace {

// Feeds plain text to a handler as the RTF reader would: one paragraph per line.
void ReadPlainText(std::u16string_view text, RtfHandler& handler)
{
    const RtfRunState plain;
    while (!text.empty()) {
        const std::size_t end = text.find_first_of(u"\r\n");
        handler.Text(text.substr(0, end), plain);
        if (end == std::u16string_view::npos)
            return;
        handler.Break(RtfBreak::kParagraph, plain);
        const std::size_t next = text.substr(end, 2) == u"\r\n" ? end + 2 : end + 1;
        text.remove_prefix(next);
    }
}

HRESULT ReadSource(std::string_view source, BodySourceKind kind, unsigned sourceCodePage,
    RtfHandler& handler, RtfDocumentInfo* info = nullptr)
{
    if (kind == BodySourceKind::kPlainText) {
        std::u16string text;
        if (HRESULT hr = Encoding2Unicode(source, sourceCodePage, text); FAILED(hr))
            return hr;
        ReadPlainText(text, handler);
        return S_OK;
    }
    RtfReader reader;
    if (HRESULT hr = reader.Read(source, handler); FAILED(hr))
        return hr;
    if (info)
        *info = reader.Info();
    return S_OK;
}

// HTML in a code page; what the code page cannot hold is written as a character reference.
HRESULT EncodeHtml(std::u16string_view html, unsigned codePage, std::string& out)
{
    bool lossy = false;
    if (HRESULT hr = Unicode2Encoding(html, codePage, out, &lossy); FAILED(hr) || !lossy)
        return hr;
    out.clear();
    std::size_t runStart = 0;
    std::string piece;
    for (std::size_t i = 0; i < html.size();) {
        const bool pair = i + 1 < html.size() && html[i] >= 0xD800 && html[i] < 0xDC00 &&
                          html[i + 1] >= 0xDC00 && html[i + 1] < 0xE000;
        const std::size_t length = pair ? 2 : 1;
        if (html[i] >= 0x80) {
            bool characterLost = false;
            Unicode2Encoding(html.substr(i, length), codePage, piece, &characterLost);
            if (characterLost) {
                std::string run;
                if (HRESULT hr = Unicode2Encoding(html.substr(runStart, i - runStart), codePage, run); FAILED(hr))
                    return hr;
                out += run;
                const std::uint32_t code = pair ? 0x10000 + ((html[i] - 0xD800u) << 10) + (html[i + 1] - 0xDC00u) : html[i];
                out += "&#" + std::to_string(code) + ";";
                runStart = i + length;
            }
        }
        i += length;
    }
    std::string rest;
    if (HRESULT hr = Unicode2Encoding(html.substr(runStart), codePage, rest); FAILED(hr))
        return hr;
    out += rest;
    return S_OK;
}

HRESULT ReadAll(ByteSource& source, std::string& data)
{
    data.clear();
    std::array<std::uint8_t, 65536> buffer;
    for (;;) {
        std::size_t count = 0;
        if (HRESULT hr = source.Read(buffer, count); FAILED(hr))
            return hr;
        if (count == 0)
            return S_OK;
        if (data.size() + count > CMMBodyConverter::kMaxSourceSize)
            return E_OUTOFMEMORY;
        data.append(reinterpret_cast<const char*>(buffer.data()), count);
    }
}

// The stream form of a conversion: all of `source` in, the result written to `sink`.
template <typename Convert>
HRESULT ConvertStream(ByteSource& source, ByteSink& sink, Convert convert)
{
    std::string data;
    std::string result;
    if (HRESULT hr = ReadAll(source, data); FAILED(hr))
        return hr;
    if (HRESULT hr = convert(data, result); FAILED(hr))
        return hr;
    return sink.Write(result);
}

} // namespace

HRESULT CMMBodyConverter::ConvertToText(std::string_view source, BodySourceKind kind,
    unsigned sourceCodePage, unsigned codePage, std::string& text)
{
    text.clear();
    RtfTextWriter writer;
    if (HRESULT hr = ReadSource(source, kind, sourceCodePage, writer); FAILED(hr))
        return hr;
    return Unicode2Encoding(writer.Result(), codePage, text);
}

HRESULT CMMBodyConverter::ConvertToHtml(std::string_view source, BodySourceKind kind,
    unsigned sourceCodePage, unsigned codePage, std::string& html)
{
    html.clear();
    // One pass feeds both writers; the header decides which result is the HTML.
    struct BothWriters final : RtfHandler {
        HtmlDeencapsulator original;
        RtfHtmlWriter rendering;
        void Text(std::u16string_view text, const RtfRunState& state) override
        {
            original.Text(text, state);
            rendering.Text(text, state);
        }
        void Break(RtfBreak kind, const RtfRunState& state) override
        {
            original.Break(kind, state);
            rendering.Break(kind, state);
        }
    } writers;
    RtfDocumentInfo info;
    if (HRESULT hr = ReadSource(source, kind, sourceCodePage, writers, &info); FAILED(hr))
        return hr;
    if (info.fromHtml)
        return EncodeHtml(writers.original.Result(), codePage, html);
    const platform::CodePageInfo* row = platform::FindCodePage(codePage);
    return EncodeHtml(writers.rendering.Finish(row ? row->webCharset : std::string_view{}), codePage, html);
}

HRESULT CMMBodyConverter::ConvertToText(ByteSource& source, BodySourceKind kind,
    unsigned sourceCodePage, unsigned codePage, ByteSink& sink)
{
    return ConvertStream(source, sink, [&](std::string_view data, std::string& text) {
        return ConvertToText(data, kind, sourceCodePage, codePage, text);
    });
}

HRESULT CMMBodyConverter::ConvertToHtml(ByteSource& source, BodySourceKind kind,
    unsigned sourceCodePage, unsigned codePage, ByteSink& sink)
{
    return ConvertStream(source, sink, [&](std::string_view data, std::string& html) {
        return ConvertToHtml(data, kind, sourceCodePage, codePage, html);
    });
}

} // namespace mmconv
