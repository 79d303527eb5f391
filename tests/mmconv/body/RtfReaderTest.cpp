// The RTF reader through its plain-text writer: groups, destinations, code pages, Unicode escapes,
// special characters, fields and damaged input.
#include "mmconv/body/RtfReader.h"
#include "mmconv/body/RtfTextWriter.h"
#include "platform/rtf/CompressedRtf.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace mmconv;

std::u16string TextOf(std::string_view rtf, HRESULT expected = S_OK)
{
    RtfReader reader;
    RtfTextWriter writer;
    EXPECT_EQ(reader.Read(rtf, writer), expected) << rtf;
    return writer.Result();
}

TEST(RtfReaderTest, VisibleText)
{
    struct Case {
        const char* name;
        std::string rtf;
        std::u16string expected;
    };
    const std::vector<Case> cases = {
        {"paragraphs and lines", "{\\rtf1\\ansi Hello\\par World\\line again}", u"Hello\r\nWorld\r\nagain"},
        {"source line ends are not text", "{\\rtf1 one\r\ntwo\ntogether}", u"onetwotogether"},
        {"the delimiting space belongs to the word", "{\\rtf1\\b  two spaces\\b0 x}", u" two spacesx"},
        {"escaped characters", "{\\rtf1 a\\\\b\\{c\\}d}", u"a\\b{c}d"},
        {"named characters",
            "{\\rtf1 \\lquote q\\rquote  \\ldblquote Q\\rdblquote  a\\emdash b\\endash c\\bullet\\tab d\\~e\\_f\\-g}",
            u"\u2018q\u2019 \u201CQ\u201D a\u2014b\u2013c\u2022\td\u00A0e\u2011fg"},
        {"backslash before a line end is a paragraph", "{\\rtf1 a\\\r\nb}", u"a\r\nb"},
        {"tables, info, styles and pictures are skipped",
            "{\\rtf1\\ansi{\\fonttbl{\\f0\\fswiss Arial;}}{\\colortbl;\\red255\\green0\\blue0;}"
            "{\\stylesheet{\\s0 Normal;}}{\\info{\\title T}{\\author A}}"
            "{\\pict\\wmetafile8 0102ff}text}",
            u"text"},
        {"unknown ignorable destinations are skipped", "{\\rtf1 a{\\*\\generator Writer;}{\\*\\xyz {nested} q}b}", u"ab"},
        {"unknown control words are ignored", "{\\rtf1 a\\unknownword42 b\\zzz c}", u"abc"},
        {"binary data may hold braces and backslashes", "{\\rtf1 a{\\*\\blob\\bin4 }{\\\\}b\\bin3 x}yc}", u"abc"},
        {"a field shows its result and its link target",
            "{\\rtf1 see {\\field{\\*\\fldinst{HYPERLINK \"http://example.com/\"}}{\\fldrslt here}} now}",
            u"see here <http://example.com/> now"},
        {"a link whose text is its target shows it once",
            "{\\rtf1 {\\field{\\*\\fldinst HYPERLINK \"mailto:a@b.example\"}{\\fldrslt a@b.example}}}",
            u"a@b.example"},
        {"a link with switches before its target",
            "{\\rtf1 {\\field{\\*\\fldinst HYPERLINK \\\\o \"tip\" \\\\t \"_blank\" \"http://x.example\"}{\\fldrslt x}}}",
            u"x <http://x.example>"},
        {"a link to a local anchor has no target",
            "{\\rtf1 {\\field{\\*\\fldinst HYPERLINK \\\\l \"top\"}{\\fldrslt up}}}", u"up"},
        {"other fields show their result", "{\\rtf1 {\\field{\\*\\fldinst PAGE}{\\fldrslt 3}}}", u"3"},
        {"list text is text", "{\\rtf1 {\\listtext\\'b7\\tab}item}", u"\u00B7\titem"},
        {"encapsulated html tags are not text",
            "{\\rtf1\\fromhtml1 {\\*\\htmltag84 <b>}\\htmlrtf {\\b \\htmlrtf0 bold\\htmlrtf }\\htmlrtf0 {\\*\\htmltag92 </b>}}",
            u"bold"},
        {"missing closing braces", "{\\rtf1 a{\\b b{\\i c", u"abc"},
        {"text after the closing brace is not read", "{\\rtf1 a}b{c}", u"a"},
        {"control characters are dropped, a literal tab kept", std::string("{\\rtf1 a\x01\x1f\tb}"), u"a\tb"},
        {"broken hex escapes are dropped", "{\\rtf1 a\\'zzb\\'4}", u"azzb4"},
        {"huge parameters are clamped", "{\\rtf1{\\uc99999999999 \\u99999999999 x}\\fs-99999999999 y}", u"\uFFFFy"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TextOf(c.rtf), c.expected) << c.name;
}

TEST(RtfReaderTest, CodePagesAndUnicode)
{
    struct Case {
        const char* name;
        std::string rtf;
        std::u16string expected;
    };
    const std::vector<Case> cases = {
        {"western by default", "{\\rtf1\\ansi caf\\'e9 \\'80}", u"caf\u00E9 \u20AC"},
        {"document code page", "{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8}", u"\u041F\u0440\u0438"},
        {"font charset wins over the document",
            "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fnil\\fcharset128 MS Gothic;}{\\f1\\fnil\\fcharset0 Arial;}}"
            "\\f0 \\'82\\'a0\\f1 \\'e9}",
            u"\u3042\u00E9"},
        {"default font", "{\\rtf1\\ansi\\deff1{\\fonttbl{\\f0 A;}{\\f1\\fcharset204 B;}}\\'e0}", u"\u0430"},
        {"font code page", "{\\rtf1{\\fonttbl{\\f0\\cpg1253 G;}}\\f0\\'e1}", u"\u03B1"},
        {"font table without groups", "{\\rtf1{\\fonttbl\\f0\\fcharset238 A;\\f1\\fcharset204 B;}\\f1\\'e0}", u"\u0430"},
        {"double-byte character split across escapes", "{\\rtf1\\ansicpg932 \\'93\\'fa\\'96\\'7b}", u"\u65E5\u672C"},
        {"double-byte character with an escaped trail byte", "{\\rtf1\\ansicpg932 \\'95\\\\}", u"\u8868"},
        {"unknown code page falls back to western", "{\\rtf1\\ansicpg99999 \\'e9}", u"\u00E9"},
        {"\\u skips one fallback character", "{\\rtf1 \\u8364?x}", u"\u20ACx"},
        {"\\uc0 skips none", "{\\rtf1\\uc0 \\u8364 x}", u"\u20ACx"},
        {"\\uc2 skips two escapes", "{\\rtf1\\uc2 \\u26085\\'93\\'fax}", u"\u65E5x"},
        {"\\uc is scoped to its group", "{\\rtf1{\\uc2 \\u8364??}\\u8364?x}", u"\u20AC\u20ACx"},
        {"a fallback stops at a group end", "{\\rtf1\\uc3 {\\u8364?}x}", u"\u20ACx"},
        {"negative values", "{\\rtf1 \\u-3999?}", u"\uF061"},
        {"surrogate pairs", "{\\rtf1 \\u-10179?\\u-8704?}", u"\U0001F600"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TextOf(c.rtf), c.expected) << c.name;
}

TEST(RtfReaderTest, HeaderMarks)
{
    struct Case {
        std::string rtf;
        bool fromHtml;
        bool fromText;
        unsigned codePage;
    };
    const std::vector<Case> cases = {
        {"{\\rtf1\\ansi\\ansicpg932\\fromhtml1 \\deff0 x}", true, false, 932},
        {"{\\rtf1\\ansi\\fromtext \\deff0 x}", false, true, 1252},
        {"{\\rtf1\\mac x}", false, false, 10000},
        {"{\\rtf1\\pc x}", false, false, 437},
        {"{\\rtf1\\ansi\\fromhtml0 x}", false, false, 1252},
        {"{\\rtf1 text first\\fromhtml1 x}", false, false, 1252},
        {"{\\rtf1 {\\fromhtml1 in a group}}", false, false, 1252},
    };
    for (const Case& c : cases) {
        RtfReader reader;
        RtfTextWriter writer;
        ASSERT_EQ(reader.Read(c.rtf, writer), S_OK) << c.rtf;
        EXPECT_EQ(reader.Info().fromHtml, c.fromHtml) << c.rtf;
        EXPECT_EQ(reader.Info().fromText, c.fromText) << c.rtf;
        EXPECT_EQ(reader.Info().codePage, c.codePage) << c.rtf;
    }
}

TEST(RtfReaderTest, RejectsWhatIsNotRtfOrNestsTooDeep)
{
    for (std::string_view notRtf : {"", "plain text", "{\\rtfx1 a}", "\\rtf1 a}", "{{\\rtf1 a}}"})
        TextOf(notRtf, MAPI_E_CORRUPT_DATA);

    const auto nested = [](std::size_t depth) {
        return "{\\rtf1 " + std::string(depth, '{') + "deep" + std::string(depth, '}') + "}";
    };
    EXPECT_EQ(TextOf(nested(RtfReader::kMaxGroupDepth - 1)), u"deep");
    TextOf(nested(RtfReader::kMaxGroupDepth), MAPI_E_CORRUPT_DATA);
}

TEST(RtfReaderTest, HyperlinkTargets)
{
    struct Case {
        std::string instruction;
        std::u16string expected;
    };
    const std::vector<Case> cases = {
        {"HYPERLINK \"http://a.example/x y\"", u"http://a.example/x y"},
        {" hyperlink http://bare.example ", u"http://bare.example"},
        {"HYPERLINK \\o \"tip\" \"http://t.example\"", u"http://t.example"},
        {"HYPERLINK \\l \"anchor\"", u""},
        {"PAGE", u""},
        {"HYPERLINK", u""},
        {"HYPERLINK \"unterminated", u"unterminated"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HyperlinkTarget(c.instruction), c.expected) << c.instruction;
}

} // namespace
