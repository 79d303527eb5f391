// CMMMessage: the text and HTML body parts from PR_BODY, the RTF body and PR_HTML, with the body
// trailer.
#include "mmconv/message/MMMessage.h"

#include <mapitags.h>

#include "mmconv/body/CMMBodyConverter.h"
#include "mmconv/body/HtmlToText.h"
#include "mmconv/body/RtfBodyType.h"
#include "mmconv/encoding/CodePageConversion.h"
#include "mmconv/encoding/OutputEncodedData.h"
#include "mmconv/encoding/Utf8.h"
#include "mmconv/message/AsciiCase.h"
#include "mmconv/message/LibraryState.h"
#include "mmconv/message/MapiProps.h"
#include "mmconv/message/MimeParameter.h"
#include "platform/locale/CodePages.h"

namespace mmconv {
namespace {

constexpr std::string_view kUtf8 = "utf-8";

// Text in UTF-8 moved into the code page when it fits there whole; otherwise it stays UTF-8.
void FitCodePage(std::string& text, std::string& charset, unsigned& codePage)
{
    if (codePage == platform::kCodePageUtf8)
        return;
    std::string converted;
    bool lossy = false;
    if (SUCCEEDED(ConvertCodePage(text, platform::kCodePageUtf8, codePage, converted, &lossy)) && !lossy) {
        text = std::move(converted);
        return;
    }
    codePage = platform::kCodePageUtf8;
    charset = kUtf8;
}

std::string EscapeHtml(std::string_view text)
{
    std::string escaped;
    for (char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '"': escaped += "&quot;"; break;
        case '>': escaped += "&gt;"; break;
        case '<': escaped += "&lt;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

// The position of the last "</BODY>", ignoring case.
std::size_t LastBodyEnd(std::string_view html)
{
    constexpr std::string_view kEnd = "</body>";
    for (std::size_t at = html.size(); at >= kEnd.size(); --at) {
        if (EqualIgnoringAsciiCase(html.substr(at - kEnd.size(), kEnd.size()), kEnd))
            return at - kEnd.size();
    }
    return std::string_view::npos;
}

std::string PartHeader(std::string_view type, std::string_view charset)
{
    std::string header = "Content-Type: text/";
    header += type;
    if (!charset.empty())
        AppendParameter(header, "charset", charset);
    header += "\r\nContent-Transfer-Encoding: quoted-printable\r\n";
    return header;
}

} // namespace

HRESULT CMMMessage::PlainText(unsigned bodyType, std::string& text, std::string& charset, unsigned& codePage)
{
    text.clear();
    const BodySources& sources = Bodies();
    if (sources.plain) {
        std::u16string_view plain = *sources.plain;
        text = WideToUtf8(plain);
    } else if (sources.rtf) {
        if (HRESULT hr = CMMBodyConverter::ConvertToText(*sources.rtf, BodySourceKind::kRtf, 0,
                platform::kCodePageUtf8, text);
            FAILED(hr))
            text.clear();
    } else if (sources.html && bodyType == kBodyTypeHtml) {
        PropValues values;
        const ULONG tags[] = {PR_INTERNET_CPID};
        values.Read(message_.get(), tags);
        const unsigned htmlCodePage = static_cast<unsigned>(values.Long(PR_INTERNET_CPID).value_or(static_cast<LONG>(codePage)));
        std::u16string html;
        Encoding2Unicode(*sources.html, htmlCodePage, html);
        text = WideToUtf8(HtmlToText(html));
    }
    FitCodePage(text, charset, codePage);
    return S_OK;
}

bool CMMMessage::HtmlText(std::string& html, std::string& charset, unsigned codePage)
{
    html.clear();
    const BodySources& sources = Bodies();
    if (sources.rtf && sources.rtfFromHtml &&
        SUCCEEDED(CMMBodyConverter::ConvertToHtml(*sources.rtf, BodySourceKind::kRtf, 0, codePage, html)))
        return true;
    if (sources.html) {
        // PR_HTML as it stands, in the charset it was written in.
        PropValues values;
        const ULONG tags[] = {PR_INTERNET_CPID};
        values.Read(message_.get(), tags);
        if (std::optional<LONG> cpid = values.Long(PR_INTERNET_CPID)) {
            std::string named;
            if (SUCCEEDED(Lang().GetCodepageInfo(static_cast<unsigned>(*cpid), named)))
                charset = named;
        }
        html = *sources.html;
        while (!html.empty() && html.back() == '\0')
            html.pop_back();
        return true;
    }
    if (sources.rtf)
        return SUCCEEDED(CMMBodyConverter::ConvertToHtml(*sources.rtf, BodySourceKind::kRtf, 0, codePage, html));
    if (sources.plain)
        return SUCCEEDED(CMMBodyConverter::ConvertToHtml(WideToUtf8(*sources.plain), BodySourceKind::kPlainText,
            platform::kCodePageUtf8, codePage, html));
    return false;
}

HRESULT CMMMessage::SaveMsgBody(MimeOutput& output, const std::string* boundary)
{
    std::string charset;
    unsigned codePage = 0;
    if (FAILED(GetMsgCharset(charset, codePage))) {
        charset.clear();
        codePage = Lang().GetDefaultANSIPage();
    }
    if (boundary != nullptr)
        output.Write("\r\n--" + *boundary + "\r\n");
    unsigned bodyType = kBodyTypeNone;
    GetBodyType(bodyType);

    std::string text;
    std::string textCharset = charset;
    unsigned textCodePage = codePage;
    PlainText(bodyType, text, textCharset, textCodePage);
    std::string trailer = BodyTrailer();
    if (!trailer.empty() && textCodePage != codePage)
        ConvertCodePage(BodyTrailer(), codePage, textCodePage, trailer);
    output.Write(PartHeader("plain", textCharset));
    if (!text.empty() || !trailer.empty()) {
        output.Write("\r\n");
        text += trailer;
        MemorySource source(text);
        if (HRESULT hr = OutputEncodedData(output, source, static_cast<int>(TransferMode::QuotedPrintable), true,
                Options().plainWrapLen);
            FAILED(hr))
            return hr;
    }
    output.Write("\r\n\r\n");

    std::string html;
    std::string htmlCharset = charset;
    if (bodyType != kBodyTypeHtml || !HtmlText(html, htmlCharset, codePage))
        return output.Write({});
    if (!BodyTrailer().empty() && htmlCharset == charset) {
        if (const std::size_t end = LastBodyEnd(html); end != std::string::npos)
            html.insert(end, "<PRE>" + EscapeHtml(BodyTrailer()) + "</PRE>");
    }
    if (boundary != nullptr)
        output.Write("--" + *boundary + "\r\n");
    output.Write(PartHeader("html", htmlCharset));
    output.Write("\r\n");
    MemorySource source(html);
    if (HRESULT hr = OutputEncodedData(output, source, static_cast<int>(TransferMode::QuotedPrintable), false); FAILED(hr))
        return hr;
    return output.Write("\r\n\r\n");
}

} // namespace mmconv
