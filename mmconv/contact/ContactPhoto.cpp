// Image signatures.
#include "mmconv/contact/ContactPhoto.h"

#include <algorithm>

namespace mmconv {
namespace {

struct Signature {
    std::string_view type;
    std::string_view prefix;
};

constexpr Signature kSignatures[] = {
    {"PNG", std::string_view("\x89PNG\r\n\x1A\n", 8)},
    {"GIF", "GIF87a"},
    {"GIF", "GIF89a"},
    {"BMP", "BM"},
    {"TIFF", std::string_view("II*\0", 4)},
    {"TIFF", std::string_view("MM\0*", 4)},
};

} // namespace

std::string_view PhotoType(std::span<const std::uint8_t> data)
{
    for (const Signature& signature : kSignatures) {
        if (data.size() >= signature.prefix.size() &&
            std::equal(signature.prefix.begin(), signature.prefix.end(), data.begin(),
                [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }))
            return signature.type;
    }
    return "JPEG";
}

} // namespace mmconv
