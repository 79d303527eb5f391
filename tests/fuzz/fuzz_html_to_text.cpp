// Fuzzes the plain-text reading of HTML bodies: any markup gives text, never a crash or a hang, and
// the text never outgrows twice the input (a reference gives at most a surrogate pair, a tag at most
// two line ends).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "mmconv/body/HtmlToText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::u16string html;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        html += static_cast<char16_t>(data[i] | data[i + 1] << 8);
    const std::u16string text = mmconv::HtmlToText(html);
    if (text.size() > 2 * html.size() + 2)
        std::abort();
    return 0;
}
