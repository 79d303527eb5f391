// Reading the plain, RTF and HTML bodies of a message.
#include "mmconv/message/BodySources.h"

#include <mapicode.h>
#include <mapiguid.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <MapiPtr.h>

#include "mmconv/body/RtfBodyType.h"
#include "mmconv/encoding/ConversionTrace.h"
#include "mmconv/message/MapiProps.h"

namespace mmconv {
namespace {

HRESULT OpenRtf(IMessage* message, MapiPtr<IStream>& rtf)
{
    MapiPtr<IStream> compressed;
    HRESULT hr = message->OpenProperty(PR_RTF_COMPRESSED, &IID_IStream, 0, 0, compressed.put_unknown());
    if (FAILED(hr))
        return hr;
    return WrapCompressedRTFStream(compressed.get(), 0, rtf.put());
}

HRESULT ReadAll(IStream* stream, std::string& data, std::size_t limit)
{
    char buffer[65536];
    while (data.size() < limit) {
        ULONG read = 0;
        const ULONG wanted = static_cast<ULONG>(std::min(sizeof buffer, limit - data.size()));
        if (HRESULT hr = stream->Read(buffer, wanted, &read); FAILED(hr))
            return hr;
        if (read == 0)
            break;
        data.append(buffer, read);
    }
    return S_OK;
}

// A stream read fails softly: the source counts as absent and the conversion goes on.
void Note(const char* what, HRESULT hr)
{
    if (hr != MAPI_E_NOT_FOUND)
        TraceConversion("***WARNING***, Unable to read the %s body %#x\n", what, static_cast<unsigned>(hr));
}

} // namespace

HRESULT ReadBodySources(IMessage* message, BodySources& sources)
{
    sources = BodySources();
    std::string data;
    if (HRESULT hr = ReadPropertyStream(message, PR_BODY_W, data); SUCCEEDED(hr)) {
        std::u16string text(data.size() / 2, u'\0');
        for (std::size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<char16_t>(static_cast<unsigned char>(data[2 * i]) |
                                            (static_cast<unsigned char>(data[2 * i + 1]) << 8));
        while (!text.empty() && text.back() == u'\0')
            text.pop_back();
        sources.plain = std::move(text);
    } else {
        Note("plain-text", hr);
    }
    MapiPtr<IStream> rtf;
    if (HRESULT hr = OpenRtf(message, rtf); SUCCEEDED(hr)) {
        std::string decompressed;
        hr = ReadAll(rtf.get(), decompressed, std::string::npos);
        if (SUCCEEDED(hr) && !decompressed.empty()) {
            sources.rtfFromHtml = GetRtfBodyType(std::string_view(decompressed).substr(0, 512)) == kBodyTypeHtml;
            sources.rtf = std::move(decompressed);
        } else if (FAILED(hr)) {
            Note("RTF", hr);
        }
    } else {
        Note("RTF", hr);
    }
    if (HRESULT hr = ReadPropertyStream(message, PR_HTML, data); SUCCEEDED(hr))
        sources.html = std::move(data);
    else
        Note("HTML", hr);
    return S_OK;
}

std::optional<std::string> ReadRtfStart(IMessage* message, std::size_t count)
{
    MapiPtr<IStream> rtf;
    std::string start;
    if (FAILED(OpenRtf(message, rtf)) || FAILED(ReadAll(rtf.get(), start, count)))
        return std::nullopt;
    return start;
}

} // namespace mmconv
