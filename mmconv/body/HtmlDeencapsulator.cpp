// De-encapsulation of HTML: tag content is copied as it stands, paragraph and line marks become
// CR LF, and what the writer added for the RTF rendering (\htmlrtf) is left out.
#include "mmconv/body/HtmlDeencapsulator.h"

namespace mmconv {

void HtmlDeencapsulator::Text(std::u16string_view text, const RtfRunState& state)
{
    if (IsOriginal(state))
        html_ += text;
}

void HtmlDeencapsulator::Break(RtfBreak, const RtfRunState& state)
{
    if (IsOriginal(state))
        html_ += u"\r\n";
}

} // namespace mmconv
