// Text for header fields in a message's code page: unstructured values, display names as phrases,
// keywords.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "mmconv/encoding/MMLang.h"

namespace mmconv {

// Text on one line: every CR and LF becomes a blank.
std::u16string OneLine(std::u16string_view text);

class HeaderText {
public:
    // `codePage` is the message code page, absent when it could not be determined.
    HeaderText(const CMMLang& lang, std::optional<unsigned> codePage) : lang_(lang), codePage_(codePage) {}

    // Encoded words (EncodeRfc1522W); empty when the text cannot be converted.
    std::string Words(std::u16string_view text) const;
    // An unstructured value: printable ASCII as it stands, folded before a blank where a line would
    // pass 900 characters; anything else, or a word that long, as encoded words.
    std::string Unstructured(std::u16string_view text) const;
    // A display name: printable ASCII in double quotes (quotes and backslashes escaped), anything
    // else as encoded words, which need no quotes.
    std::string Phrase(std::u16string_view name) const;
    // One entry of a keyword list: atoms as they stand, other printable ASCII quoted, anything else
    // as encoded words.
    std::string Keyword(std::u16string_view keyword) const;

private:
    const CMMLang& lang_;
    std::optional<unsigned> codePage_;
};

} // namespace mmconv
