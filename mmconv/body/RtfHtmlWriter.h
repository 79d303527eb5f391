// Renders RTF that carries no HTML as a simple HTML document: paragraphs, line breaks, bold,
// italic and underline, with the text escaped.
#pragma once

#include <string>
#include <string_view>

#include "mmconv/body/RtfReader.h"

namespace mmconv {

class RtfHtmlWriter final : public RtfHandler {
public:
    void Text(std::u16string_view text, const RtfRunState& state) override;
    void Break(RtfBreak kind, const RtfRunState& state) override;

    // The whole document; charset names the encoding it will be written in (empty: no meta tag).
    std::u16string Finish(std::string_view charset);

private:
    void OpenParagraph();
    void SetFormat(const RtfRunState& state);
    void CloseParagraph();

    std::u16string body_;
    bool paragraphOpen_ = false;
    bool lastWasSpace_ = false;
    RtfRunState format_;  // the inline elements now open
};

} // namespace mmconv
