// RTF tokens as the RTF 1.9 syntax defines them; malformed escapes are dropped, never fatal.
#include "mmconv/body/RtfTokenizer.h"

#include <algorithm>
#include <limits>

namespace mmconv {
namespace {

bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

int HexValue(char c)
{
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

RtfToken Token(RtfTokenKind kind)
{
    RtfToken token;
    token.kind = kind;
    return token;
}

RtfToken Symbol(char symbol)
{
    RtfToken token = Token(RtfTokenKind::kControlSymbol);
    token.symbol = symbol;
    return token;
}

} // namespace

RtfToken RtfTokenizer::Next()
{
    // Line ends in the source are not text; they only separate tokens.
    while (position_ < rtf_.size() && (rtf_[position_] == '\r' || rtf_[position_] == '\n'))
        ++position_;
    if (position_ >= rtf_.size())
        return {};
    const char c = rtf_[position_];
    if (c == '{' || c == '}') {
        ++position_;
        return Token(c == '{' ? RtfTokenKind::kGroupStart : RtfTokenKind::kGroupEnd);
    }
    if (c == '\\')
        return Escape();
    const std::size_t start = position_;
    while (position_ < rtf_.size()) {
        const char next = rtf_[position_];
        if (next == '\\' || next == '{' || next == '}' || next == '\r' || next == '\n')
            break;
        ++position_;
    }
    RtfToken text = Token(RtfTokenKind::kText);
    text.data = rtf_.substr(start, position_ - start);
    return text;
}

RtfToken RtfTokenizer::Escape()
{
    ++position_;  // the backslash
    if (position_ >= rtf_.size())
        return {};
    const char c = rtf_[position_];
    if (IsLetter(c))
        return ControlWord();
    ++position_;
    if (c == '\'') {
        const int high = position_ < rtf_.size() ? HexValue(rtf_[position_]) : -1;
        const int low = position_ + 1 < rtf_.size() ? HexValue(rtf_[position_ + 1]) : -1;
        // A broken escape stays a symbol that nothing acts on.
        if (high < 0 || low < 0)
            return Symbol(c);
        position_ += 2;
        RtfToken hex = Token(RtfTokenKind::kHexByte);
        hex.byte = static_cast<std::uint8_t>(high << 4 | low);
        return hex;
    }
    return Symbol(c);
}

RtfToken RtfTokenizer::ControlWord()
{
    RtfToken token = Token(RtfTokenKind::kControlWord);
    const std::size_t start = position_;
    while (position_ < rtf_.size() && IsLetter(rtf_[position_]))
        ++position_;
    token.word = rtf_.substr(start, std::min(position_ - start, kMaxWordLength));
    bool negative = false;
    if (position_ + 1 < rtf_.size() && rtf_[position_] == '-' && IsDigit(rtf_[position_ + 1])) {
        negative = true;
        ++position_;
    }
    std::int64_t value = 0;
    while (position_ < rtf_.size() && IsDigit(rtf_[position_])) {
        token.hasParameter = true;
        value = std::min<std::int64_t>(value * 10 + (rtf_[position_] - '0'), std::int64_t{1} << 32);
        ++position_;
    }
    value = negative ? -value : value;
    token.parameter = static_cast<std::int32_t>(std::clamp<std::int64_t>(value,
        std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
    if (position_ < rtf_.size() && rtf_[position_] == ' ')
        ++position_;
    if (token.word == "bin" && token.parameter > 0) {
        const std::size_t length = std::min<std::size_t>(static_cast<std::size_t>(token.parameter), rtf_.size() - position_);
        token.kind = RtfTokenKind::kBinary;
        token.data = rtf_.substr(position_, length);
        position_ += length;
    }
    return token;
}

} // namespace mmconv
