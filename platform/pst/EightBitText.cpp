// Converting 8-bit strings through glibc's converters.
#include "platform/pst/EightBitText.h"

#include "platform/locale/CodePages.h"
#include "platform/locale/IconvConverter.h"

#include <cerrno>
#include <vector>

namespace platform::pst {

std::u16string EightBitToUtf16(std::span<const std::uint8_t> bytes, unsigned codePage)
{
    IconvConverter converter("UTF-16LE", IconvNameOfCodePage(codePage == 0 ? 1252 : codePage));
    std::u16string text;
    if (!converter.IsOpen()) {
        for (std::uint8_t b : bytes) {
            text.push_back(b < 0x80 ? b : u'\uFFFD');
        }
        return text;
    }
    std::vector<char> input(bytes.begin(), bytes.end());
    char* in = input.data();
    std::size_t inLeft = input.size();
    std::vector<char> output(4 * input.size() + 8);
    while (inLeft > 0) {
        char* out = output.data();
        std::size_t outLeft = output.size();
        std::size_t result = iconv(converter.Handle(), &in, &inLeft, &out, &outLeft);
        for (const char* p = output.data(); p + 1 < out; p += 2) {
            text.push_back(static_cast<char16_t>(static_cast<std::uint8_t>(p[0]) | (static_cast<std::uint8_t>(p[1]) << 8)));
        }
        if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // An unreadable or cut-off sequence: one byte stands for it.
            text.push_back(u'\uFFFD');
            ++in;
            --inLeft;
        }
    }
    return text;
}

} // namespace platform::pst
