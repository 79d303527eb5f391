// UTF-16 to the locale's character set through UTF-8.
#include "ex2qln/transfer/AnsiText.h"

#include "ex2qln/diag/LocalizedText.h"
#include "platform/locale/Locale.h"
#include "platform/locale/Utf16.h"

#include <optional>

namespace ex2qln::transfer {

std::string ToAnsi(std::u16string_view text)
{
    const std::string codeSet = platform::AnsiCodeSetName();
    if (std::optional<std::string> whole = diag::ConvertFromUtf8(platform::Utf16ToUtf8(text), codeSet.c_str()))
        return std::move(*whole);
    // Something does not fit: character by character, a surrogate pair taken whole.
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool pair = text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                          text[i + 1] < 0xE000;
        const std::u16string_view character = text.substr(i, pair ? 2 : 1);
        if (pair)
            ++i;
        std::optional<std::string> converted =
            diag::ConvertFromUtf8(platform::Utf16ToUtf8(character), codeSet.c_str());
        result += converted ? *converted : std::string("?");
    }
    return result;
}

} // namespace ex2qln::transfer
