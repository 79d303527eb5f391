// Plain text from RTF: encapsulated HTML tags are not text; \htmlrtf parts are (they are the text
// rendering of the HTML).
#include "mmconv/body/RtfTextWriter.h"

namespace mmconv {

void RtfTextWriter::Text(std::u16string_view text, const RtfRunState& state)
{
    if (!state.htmlTag)
        text_ += text;
}

void RtfTextWriter::Break(RtfBreak, const RtfRunState& state)
{
    if (!state.htmlTag)
        text_ += u"\r\n";
}

void RtfTextWriter::FieldStart()
{
    fieldStarts_.push_back(text_.size());
}

// A link whose text is not its target shows the target too, as "text <target>"; a mail link whose
// text is the address does not.
void RtfTextWriter::FieldEnd(std::u16string_view target)
{
    if (fieldStarts_.empty())
        return;
    const std::u16string_view shown = std::u16string_view(text_).substr(fieldStarts_.back());
    fieldStarts_.pop_back();
    std::u16string_view address = target;
    if (address.starts_with(u"mailto:"))
        address.remove_prefix(7);
    if (target.empty() || shown == target || shown == address)
        return;
    text_ += u" <";
    text_ += target;
    text_ += u">";
}

} // namespace mmconv
