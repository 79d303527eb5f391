// Plain text from HTML, for messages whose only body is HTML: the text without markup, scripts or
// styles, with character references resolved and block elements on lines of their own.
#pragma once

#include <string>
#include <string_view>

namespace mmconv {

// Lines end with CR LF. White space runs collapse to one blank outside <pre>; <br> breaks a line,
// block elements (p, div, table rows, list items, headings...) start and end lines, paragraphs are
// set apart by an empty line. Unknown or malformed markup is skipped, never an error.
std::u16string HtmlToText(std::u16string_view html);

} // namespace mmconv
