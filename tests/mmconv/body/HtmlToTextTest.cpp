// Plain text from HTML: markup and hidden elements go, references resolve, lines follow the blocks.
#include <gtest/gtest.h>

#include "mmconv/body/HtmlToText.h"

namespace mmconv {
namespace {

TEST(HtmlToText, TextOfTheDocument)
{
    struct Case {
        const char* label;
        std::u16string html;
        std::u16string text;
    };
    const Case cases[] = {
        {"paragraphs apart, breaks inside", u"<p>One</p><p>Two<br>three</p>", u"One\r\n\r\nTwo\r\nthree"},
        {"white space collapses", u"<div>  a \r\n\t b  </div>", u"a b"},
        {"head, style and script are not text",
            u"<html><head><title>T</title><style>p{color:red}</style></head><body>Body<script>x()</script></body></html>",
            u"Body"},
        {"comments are not text", u"a<!-- hidden -->b", u"ab"},
        {"named and numeric references", u"&lt;x&gt; &amp; &quot;q&quot; &#233;&#x20AC;&nbsp;!", u"<x> & \"q\" \u00e9\u20ac !"},
        {"an unknown reference stays", u"&bogus; &#xZZ;", u"&bogus; &#xZZ;"},
        {"a reference beyond Unicode is replaced", u"&#1114112;", u"\uFFFD"},
        {"supplementary characters", u"&#128512;", u"\U0001F600"},
        {"pre keeps its lines", u"<pre>a  b\nc</pre>", u"a  b\r\nc"},
        {"table cells apart, rows on lines", u"<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>",
            u"a b\r\nc"},
        {"upper-case tags and attributes; a break after a paragraph", u"<P CLASS=x>A</P><BR/>B", u"A\r\n\r\n\r\nB"},
        {"an unclosed tag ends the text", u"text <b", u"text"},
        {"empty", u"", u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HtmlToText(c.html), c.text) << c.label;
}

} // namespace
} // namespace mmconv
