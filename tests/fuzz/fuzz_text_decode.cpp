// Fuzzes the text decoders: UTF-8 of the library's own routine and the code-page converters, with
// the code page chosen by the first input byte.
#include "mmconv/encoding/CodePageConversion.h"
#include "mmconv/encoding/Utf8.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    static constexpr std::array<unsigned, 12> kCodePages = {
        65001, 1252, 932, 936, 949, 950, 50220, 51932, 54936, 65000, 20866, 20127};
    const unsigned codePage = kCodePages[data[0] % kCodePages.size()];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    // Decoding the re-encoded result is stable: the replacements are already valid text.
    const std::u16string wide = mmconv::Utf8ToWide(text);
    if (mmconv::Utf8ToWide(mmconv::WideToUtf8(wide)) != wide)
        std::abort();

    std::u16string decoded;
    if (FAILED(mmconv::Encoding2Unicode(text, codePage, decoded)))
        std::abort();
    std::string encoded;
    if (FAILED(mmconv::Unicode2Encoding(decoded, codePage, encoded)))
        std::abort();
    return 0;
}
