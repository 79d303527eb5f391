// Hexadecimal and filtered text.
#include "mmconv/calendar/ContentText.h"

namespace mmconv {

std::string HexText(std::string_view octets)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(octets.size() * 2);
    for (unsigned char c : octets) {
        text += kDigits[c >> 4];
        text += kDigits[c & 0xF];
    }
    return text;
}

std::string WithoutControls(std::string_view text, std::string_view alsoLeftOut)
{
    std::string kept;
    kept.reserve(text.size());
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F && alsoLeftOut.find(c) == std::string_view::npos)
            kept += c;
    }
    return kept;
}

} // namespace mmconv
