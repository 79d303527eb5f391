// The content-line writer that iCalendar, vCard and VGROUP bodies share: UTF-8 octets with TEXT
// escaping, CR LF line ends and folding at 75 octets per physical line.
#pragma once

#include <string_view>

#include "mmconv/message/MimeOutput.h"

namespace mmconv {

// Flag bit 0: the text is a TEXT value and is escaped.
inline constexpr unsigned kFoldEscape = 0x1;

// Writes UTF-8 text, `column` counting the octets already on the current physical line. CR is
// dropped; LF ends the line (column 0), or with escaping becomes "\N". With escaping ",", ";" and
// "\" get a backslash that a fold never separates from them. A fold (CR LF and a blank, which
// counts as the new line's first octet) comes before the character that would pass the line's 75th
// octet, so that no physical line is longer and no UTF-8 character is split.
HRESULT FoldedOutput(MimeOutput& output, std::string_view text, unsigned& column, unsigned flags);

} // namespace mmconv
