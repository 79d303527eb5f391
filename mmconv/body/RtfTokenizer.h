// Splits RTF into groups, control words, control symbols, hexadecimal bytes, text and binary data.
#pragma once

#include <cstdint>
#include <string_view>

namespace mmconv {

enum class RtfTokenKind { kEnd, kGroupStart, kGroupEnd, kControlWord, kControlSymbol, kHexByte, kText, kBinary };

struct RtfToken {
    RtfTokenKind kind = RtfTokenKind::kEnd;
    std::string_view word;        // control word name (at most kMaxWordLength letters)
    bool hasParameter = false;
    std::int32_t parameter = 0;   // clamped to the 32-bit range
    char symbol = 0;              // control symbol
    std::uint8_t byte = 0;        // \'hh
    std::string_view data;        // text run (never holding CR or LF) or \bin data
};

class RtfTokenizer {
public:
    static constexpr std::size_t kMaxWordLength = 32;

    explicit RtfTokenizer(std::string_view rtf) : rtf_(rtf) {}

    // The next token; kEnd at the end of the input, however it ends.
    RtfToken Next();

private:
    RtfToken ControlWord();
    RtfToken Escape();

    std::string_view rtf_;
    std::size_t position_ = 0;
};

} // namespace mmconv
