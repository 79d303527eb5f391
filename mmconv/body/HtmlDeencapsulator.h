// Recovers HTML that was encapsulated in RTF: the content of \*\htmltag destinations and the text
// outside \htmlrtf parts, in document order.
#pragma once

#include <string>

#include "mmconv/body/RtfReader.h"

namespace mmconv {

class HtmlDeencapsulator final : public RtfHandler {
public:
    void Text(std::u16string_view text, const RtfRunState& state) override;
    void Break(RtfBreak kind, const RtfRunState& state) override;

    const std::u16string& Result() const { return html_; }

private:
    static bool IsOriginal(const RtfRunState& state) { return state.htmlTag || !state.htmlRtf; }

    std::u16string html_;
};

} // namespace mmconv
