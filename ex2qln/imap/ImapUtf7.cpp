// The modified UTF-7 encoder for IMAP folder names.
#include "ex2qln/imap/ImapUtf7.h"

#include <cstdint>

namespace ex2qln::imap {
namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";
constexpr std::string_view kMalformedPrefix = "-BAD-";

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
bool IsPrintable(char16_t unit) { return unit >= 0x20 && unit <= 0x7E; }

bool HasUnpairedSurrogate(std::u16string_view name)
{
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (IsHighSurrogate(name[i]) && i + 1 < name.size() && IsLowSurrogate(name[i + 1]))
            ++i;
        else if (IsHighSurrogate(name[i]) || IsLowSurrogate(name[i]))
            return true;
    }
    return false;
}

class Encoder {
public:
    explicit Encoder(std::string_view prefix) : output_(prefix) {}

    // One character: one UTF-16 unit, or the two of a surrogate pair.
    void Character(std::u16string_view units)
    {
        if (units.size() == 1 && IsPrintable(units.front())) {
            CloseShift();
            if (units.front() == u'&')
                output_ += "&-";
            else
                output_ += static_cast<char>(units.front());
            return;
        }
        if (!shifted_) {
            output_ += '&';
            shifted_ = true;
        }
        for (const char16_t unit : units)
            Unit(unit);
    }

    // The size of the output once the open Base64 run is closed.
    std::size_t FinishedSize() const { return output_.size() + (shifted_ ? (bitCount_ > 0 ? 2 : 1) : 0); }

    std::string Finish()
    {
        CloseShift();
        return std::move(output_);
    }

private:
    void Unit(char16_t unit)
    {
        bits_ = (bits_ << 16) | unit;
        bitCount_ += 16;
        while (bitCount_ >= 6) {
            bitCount_ -= 6;
            output_ += kAlphabet[(bits_ >> bitCount_) & 0x3F];
        }
        bits_ &= (1u << bitCount_) - 1;
    }

    void CloseShift()
    {
        if (!shifted_)
            return;
        if (bitCount_ > 0)
            output_ += kAlphabet[(bits_ << (6 - bitCount_)) & 0x3F];
        output_ += '-';
        shifted_ = false;
        bits_ = 0;
        bitCount_ = 0;
    }

    std::string output_;
    bool shifted_ = false;
    std::uint32_t bits_ = 0;
    unsigned bitCount_ = 0;
};

} // namespace

std::string EncodeImapName(std::u16string_view name)
{
    Encoder encoder(HasUnpairedSurrogate(name) ? kMalformedPrefix : std::string_view());
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t length = IsHighSurrogate(name[i]) && i + 1 < name.size() && IsLowSurrogate(name[i + 1]) ? 2 : 1;
        Encoder next = encoder;
        next.Character(name.substr(i, length));
        if (next.FinishedSize() > kMaximumImapNameLength)
            break;
        encoder = std::move(next);
        i += length;
    }
    return encoder.Finish();
}

} // namespace ex2qln::imap
