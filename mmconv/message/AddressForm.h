// Address forms in header fields: a name with its address, lists of them, and the reader that
// tells whether a display name is itself an Internet address.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "mmconv/message/HeaderText.h"

namespace mmconv {

// Between the entries of an address list: each entry after the first on its own folded line.
inline constexpr std::string_view kAddressSeparator = ", \r\n ";

// Whether the text is an addr-spec in ASCII: a dot-atom or quoted-string local part, "@", and a
// dot-atom or domain-literal domain, with no blanks outside quotes.
bool IsAddrSpec(std::u16string_view address);

struct ParsedMailbox {
    std::u16string phrase;   // unquoted; empty when there was none
    std::u16string address;
};

// Reads "addr-spec", "<addr-spec>" or "phrase <addr-spec>" (a quoted phrase is unquoted); nothing
// when the text is not one of them.
std::optional<ParsedMailbox> ParseMailbox(std::u16string_view text);

// With `encode`: "phrase <address>" (the phrase as HeaderText::Phrase gives it), or "<address>"
// without a name. Without `encode`: the bare address.
std::string EncodeRecepientName(const HeaderText& text, std::u16string_view name, std::string_view address,
    bool encode);

// A named entry that has no usable address, as an empty group: "phrase: ;" (a blank before the ":"
// after encoded words).
std::string EmptyGroup(const HeaderText& text, std::u16string_view name);

} // namespace mmconv
