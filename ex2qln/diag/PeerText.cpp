// Control characters of peer text as three-digit decimal escapes.
#include "ex2qln/diag/PeerText.h"

namespace ex2qln::diag {
namespace {

constexpr std::size_t kEscapeLength = 4;

bool IsC0OrDelete(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

// A C1 control in UTF-8 is 0xC2 followed by 0x80 to 0x9F.
bool StartsC1Control(std::string_view text, std::size_t position)
{
    return static_cast<unsigned char>(text[position]) == 0xC2 && position + 1 < text.size() &&
           static_cast<unsigned char>(text[position + 1]) >= 0x80 &&
           static_cast<unsigned char>(text[position + 1]) <= 0x9F;
}

} // namespace

void AppendByteEscape(std::string& output, unsigned char byte)
{
    output += '\\';
    output += static_cast<char>('0' + byte / 100);
    output += static_cast<char>('0' + byte / 10 % 10);
    output += static_cast<char>('0' + byte % 10);
}

std::string EscapeControlCharacters(std::string_view text, std::size_t maximumLength)
{
    std::string shown;
    for (std::size_t position = 0; position < text.size(); ++position) {
        const auto byte = static_cast<unsigned char>(text[position]);
        const std::size_t escaped = IsC0OrDelete(byte) ? 1 : StartsC1Control(text, position) ? 2 : 0;
        const std::size_t needed = escaped == 0 ? 1 : escaped * kEscapeLength;
        if (maximumLength - shown.size() < needed)
            break;
        if (escaped == 0) {
            shown += text[position];
            continue;
        }
        for (std::size_t index = 0; index < escaped; ++index)
            AppendByteEscape(shown, static_cast<unsigned char>(text[position + index]));
        position += escaped - 1;
    }
    return shown;
}

} // namespace ex2qln::diag
