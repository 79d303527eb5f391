// The body converter: text and HTML from encapsulated HTML, plain RTF, \fromtext RTF and plain
// text, in the requested code page.
#include "mmconv/body/CMMBodyConverter.h"
#include "platform/rtf/CompressedRtf.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace mmconv;

// HTML as Outlook encapsulates it: tags in \*\htmltag groups, the RTF rendering in \htmlrtf parts.
const std::string kEncapsulated =
    "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl\r\n"
    "{\\f0\\fswiss Arial;}\r\n"
    "{\\f1\\fmodern\\fcharset128 MS Gothic;}}\r\n"
    "{\\colortbl\\red0\\green0\\blue0;}\r\n"
    "\\uc1\\pard\\plain\\deftab360 \\f0\\fs24 \r\n"
    "{\\*\\htmltag19 <html>}\r\n"
    "{\\*\\htmltag34 <head>}\r\n"
    "{\\*\\htmltag241 <style>}\r\n"
    "{\\*\\htmltag241 <!--\\par p \\{ color: red; \\}\\par\\tab x -->}\r\n"
    "{\\*\\htmltag249 </style>}\r\n"
    "{\\*\\htmltag41 </head>}\r\n"
    "{\\*\\htmltag50 <body>}\\htmlrtf \\lang1033 \\htmlrtf0 \r\n"
    "{\\*\\htmltag64 <p>}\\htmlrtf {\\htmlrtf0 Caf\\'e9 \r\n"
    "{\\*\\htmltag84 &lt;}\\htmlrtf <\\htmlrtf0 \r\n"
    "{\\*\\htmltag84 <b>}\\htmlrtf {\\b \\htmlrtf0 bold\\u8364?\r\n"
    "{\\*\\htmltag92 </b>}\\htmlrtf }\\htmlrtf0 {\\f1 \\'93\\'fa}\r\n"
    "{\\*\\htmltag84 <a href=\"http://a.example/\">}\\htmlrtf {\\field{\\*\\fldinst{HYPERLINK \"http://a.example/\"}}"
    "{\\fldrslt\\ul \\htmlrtf0 link\\htmlrtf }\\htmlrtf0 \\htmlrtf }\\htmlrtf0 \r\n"
    "{\\*\\htmltag92 </a>}\r\n"
    "\\htmlrtf\\par}\\htmlrtf0\r\n"
    "{\\*\\htmltag72 </p>}\r\n"
    "{\\*\\htmltag58 </body>}\r\n"
    "{\\*\\htmltag27 </html>}}";
const std::string kEncapsulatedHtml =
    "<html><head><style><!--\r\np { color: red; }\r\n\tx --></style></head><body>"
    "<p>Caf\u00E9 &lt;<b>bold\u20AC</b>\u65E5<a href=\"http://a.example/\">link</a></p></body></html>";
const std::string kEncapsulatedText = "Caf\u00E9 <bold\u20AC\u65E5link <http://a.example/>\r\n";

const std::string kPlainRtf =
    "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\pard Hello {\\b bold {\\i both}} & <tag> \"q\"\\par\\par "
    "a  b\\tab c\\line d\\par\\ul under\\ulnone  no}";

std::string SimpleHtml(std::string_view charset, std::string_view body)
{
    return "<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" +
           std::string(charset) + "\">\r\n<style>p { margin: 0; }</style>\r\n</head>\r\n<body>\r\n" +
           std::string(body) + "</body>\r\n</html>\r\n";
}

struct Case {
    const char* name;
    std::string source;
    BodySourceKind kind;
    unsigned sourceCodePage;
    unsigned codePage;
    std::string expected;
};

TEST(CMMBodyConverterTest, Text)
{
    const std::vector<Case> cases = {
        {"encapsulated html", kEncapsulated, BodySourceKind::kRtf, 0, 65001, kEncapsulatedText},
        {"encapsulated html in windows-1252", kEncapsulated, BodySourceKind::kRtf, 0, 1252,
            "Caf\xE9 <bold\x80?link <http://a.example/>\r\n"},
        {"plain rtf", kPlainRtf, BodySourceKind::kRtf, 0, 65001,
            "Hello bold both & <tag> \"q\"\r\n\r\na  b\tc\r\nd\r\nunder no"},
        {"fromtext rtf",
            "{\\rtf1\\ansi\\ansicpg1251\\fromtext \\fbidis \\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
            "\\uc1\\pard\\plain\\deftab360 \\f0\\fs20 \\'cf\\'f0\\'e8\\par two\\par}",
            BodySourceKind::kRtf, 0, 20866, "\xF0\xD2\xC9\r\ntwo\r\n"},
        {"plain text source", "caf\xE9\r\nline", BodySourceKind::kPlainText, 1252, 65001, "caf\u00E9\r\nline"},
        {"empty rtf", "{\\rtf1}", BodySourceKind::kRtf, 0, 65001, ""},
    };
    for (const Case& c : cases) {
        std::string text;
        EXPECT_EQ(CMMBodyConverter::ConvertToText(c.source, c.kind, c.sourceCodePage, c.codePage, text), S_OK) << c.name;
        EXPECT_EQ(text, c.expected) << c.name;
    }
}

TEST(CMMBodyConverterTest, Html)
{
    const std::string plainBody =
        "<p>Hello <b>bold <i>both</i></b> &amp; &lt;tag&gt; &quot;q&quot;</p>\r\n<p>&nbsp;</p>\r\n"
        "<p>a &nbsp;b&nbsp;&nbsp;&nbsp; c<br>\r\nd</p>\r\n<p><u>under</u> no</p>\r\n";
    const std::vector<Case> cases = {
        {"encapsulated html is given back", kEncapsulated, BodySourceKind::kRtf, 0, 65001, kEncapsulatedHtml},
        {"what the code page cannot hold becomes a reference", kEncapsulated, BodySourceKind::kRtf, 0, 20127,
            "<html><head><style><!--\r\np { color: red; }\r\n\tx --></style></head><body>"
            "<p>Caf&#233; &lt;<b>bold&#8364;</b>&#26085;<a href=\"http://a.example/\">link</a></p></body></html>"},
        {"plain rtf is rendered", kPlainRtf, BodySourceKind::kRtf, 0, 65001, SimpleHtml("utf-8", plainBody)},
        {"plain rtf in windows-1251", "{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8 \\u9731?}", BodySourceKind::kRtf,
            0, 1251, SimpleHtml("windows-1251", "<p>\xCF\xF0\xE8 &#9731;</p>\r\n")},
        {"fromtext rtf is rendered",
            "{\\rtf1\\ansi\\fromtext \\deff0{\\fonttbl{\\f0 Arial;}}\\pard one\\par\\par two\\par}",
            BodySourceKind::kRtf, 0, 65001, SimpleHtml("utf-8", "<p>one</p>\r\n<p>&nbsp;</p>\r\n<p>two</p>\r\n")},
        {"a \\fromhtml mark after text is not a header mark",
            "{\\rtf1\\ansi x\\fromhtml1 {\\*\\htmltag84 <b>}}", BodySourceKind::kRtf, 0, 65001,
            SimpleHtml("utf-8", "<p>x</p>\r\n")},
        {"plain text source", "a<b\r\n\r\nc&d\n", BodySourceKind::kPlainText, 65001, 65001,
            SimpleHtml("utf-8", "<p>a&lt;b</p>\r\n<p>&nbsp;</p>\r\n<p>c&amp;d</p>\r\n")},
        {"surrogate pair without a place in the code page", "{\\rtf1 \\u-10179?\\u-8704?}", BodySourceKind::kRtf,
            0, 1252, SimpleHtml("windows-1252", "<p>&#128512;</p>\r\n")},
    };
    for (const Case& c : cases) {
        std::string html;
        EXPECT_EQ(CMMBodyConverter::ConvertToHtml(c.source, c.kind, c.sourceCodePage, c.codePage, html), S_OK) << c.name;
        EXPECT_EQ(html, c.expected) << c.name;
    }
}

TEST(CMMBodyConverterTest, Failures)
{
    std::string out = "left over";
    EXPECT_EQ(CMMBodyConverter::ConvertToText("not rtf", BodySourceKind::kRtf, 0, 65001, out),
        MAPI_E_CORRUPT_DATA);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(CMMBodyConverter::ConvertToHtml("{\\rtf1 " + std::string(5000, '{'), BodySourceKind::kRtf, 0, 65001, out),
        MAPI_E_CORRUPT_DATA);
    EXPECT_TRUE(FAILED(CMMBodyConverter::ConvertToText("{\\rtf1 x}", BodySourceKind::kRtf, 0, 4242, out)));
    EXPECT_TRUE(FAILED(CMMBodyConverter::ConvertToHtml("x", BodySourceKind::kPlainText, 4242, 65001, out)));
}

TEST(CMMBodyConverterTest, StreamsCarryTheSameResult)
{
    MemorySource textSource(kEncapsulated);
    std::string text;
    StringSink textSink(text);
    ASSERT_EQ(CMMBodyConverter::ConvertToText(textSource, BodySourceKind::kRtf, 0, 65001, textSink), S_OK);
    EXPECT_EQ(text, kEncapsulatedText);

    MemorySource htmlSource(kEncapsulated);
    std::string html;
    StringSink htmlSink(html);
    ASSERT_EQ(CMMBodyConverter::ConvertToHtml(htmlSource, BodySourceKind::kRtf, 0, 65001, htmlSink), S_OK);
    EXPECT_EQ(html, kEncapsulatedHtml);
}

} // namespace
