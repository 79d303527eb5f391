// A simple HTML rendering of RTF: one <p> per paragraph (no margins, so lines stay as they were),
// <br> for line breaks, <b>, <i> and <u> kept in one nesting order so that elements always nest.
#include "mmconv/body/RtfHtmlWriter.h"

#include <array>

namespace mmconv {

void RtfHtmlWriter::Text(std::u16string_view text, const RtfRunState& state)
{
    if (state.htmlTag || text.empty())
        return;
    OpenParagraph();
    SetFormat(state);
    for (char16_t c : text) {
        const bool space = c == u' ';
        switch (c) {
        case u'&': body_ += u"&amp;"; break;
        case u'<': body_ += u"&lt;"; break;
        case u'>': body_ += u"&gt;"; break;
        case u'"': body_ += u"&quot;"; break;
        case u'\t': body_ += u"&nbsp;&nbsp;&nbsp; "; break;
        // A space after a space would collapse; a non-breaking one keeps the run as it was.
        case u' ': body_ += lastWasSpace_ ? u"&nbsp;" : u" "; break;
        default: body_ += c; break;
        }
        lastWasSpace_ = space;
    }
}

void RtfHtmlWriter::Break(RtfBreak kind, const RtfRunState& state)
{
    if (state.htmlTag)
        return;
    if (kind == RtfBreak::kLine) {
        OpenParagraph();
        body_ += u"<br>\r\n";
        lastWasSpace_ = false;
        return;
    }
    if (!paragraphOpen_) {
        body_ += u"<p>&nbsp;</p>\r\n";
        return;
    }
    CloseParagraph();
}

std::u16string RtfHtmlWriter::Finish(std::string_view charset)
{
    if (paragraphOpen_)
        CloseParagraph();
    std::u16string html = u"<html>\r\n<head>\r\n";
    if (!charset.empty()) {
        html += u"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=";
        html.append(charset.begin(), charset.end());
        html += u"\">\r\n";
    }
    html += u"<style>p { margin: 0; }</style>\r\n</head>\r\n<body>\r\n";
    html += body_;
    html += u"</body>\r\n</html>\r\n";
    return html;
}

void RtfHtmlWriter::OpenParagraph()
{
    if (paragraphOpen_)
        return;
    body_ += u"<p>";
    paragraphOpen_ = true;
    lastWasSpace_ = false;
}

void RtfHtmlWriter::SetFormat(const RtfRunState& state)
{
    // The elements nest in the order b, i, u: keep the open ones the new format shares from the
    // outside in, close the rest, open what is missing.
    static constexpr std::array<std::u16string_view, 3> kNames = {u"b", u"i", u"u"};
    const std::array<bool, 3> open = {format_.bold, format_.italic, format_.underline};
    const std::array<bool, 3> wanted = {state.bold, state.italic, state.underline};
    std::size_t kept = 0;
    while (kept < 3 && open[kept] == wanted[kept])
        ++kept;
    for (std::size_t i = 3; i-- > kept;) {
        if (open[i])
            body_.append(u"</").append(kNames[i]).append(u">");
    }
    for (std::size_t i = kept; i < 3; ++i) {
        if (wanted[i])
            body_.append(u"<").append(kNames[i]).append(u">");
    }
    format_.bold = state.bold;
    format_.italic = state.italic;
    format_.underline = state.underline;
}

void RtfHtmlWriter::CloseParagraph()
{
    SetFormat({});
    body_ += u"</p>\r\n";
    paragraphOpen_ = false;
    lastWasSpace_ = false;
}

} // namespace mmconv
