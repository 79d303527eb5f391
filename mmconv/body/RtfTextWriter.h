// Collects the visible text of RTF as plain text with CR LF line ends, hyperlink targets in angle
// brackets after their text.
#pragma once

#include <string>
#include <vector>

#include "mmconv/body/RtfReader.h"

namespace mmconv {

class RtfTextWriter final : public RtfHandler {
public:
    void Text(std::u16string_view text, const RtfRunState& state) override;
    void Break(RtfBreak kind, const RtfRunState& state) override;
    void FieldStart() override;
    void FieldEnd(std::u16string_view target) override;

    const std::u16string& Result() const { return text_; }

private:
    std::u16string text_;
    std::vector<std::size_t> fieldStarts_;  // where the result of each open field begins
};

} // namespace mmconv
