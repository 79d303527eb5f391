// Looking up content types in a mime.types list ("type ext ext ..." lines, "#" comments).
#include "platform/registry/MimeTypes.h"

#include "platform/files/ReadOnlyMapping.h"

#include <cctype>
#include <cstdlib>

namespace platform {

namespace {

constexpr std::string_view kBlanks = " \t\r";

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// Splits off the next blank-separated word of `line`.
std::string_view NextWord(std::string_view& line)
{
    std::size_t start = line.find_first_not_of(kBlanks);
    if (start == std::string_view::npos) {
        line = {};
        return {};
    }
    line.remove_prefix(start);
    std::size_t end = line.find_first_of(kBlanks);
    std::string_view word = line.substr(0, end);
    line.remove_prefix(end == std::string_view::npos ? line.size() : end);
    return word;
}

} // namespace

std::string MimeTypesFilePath()
{
    const char* path = std::getenv("EX2QLN_MIME_TYPES");
    return path && *path ? path : "/etc/mime.types";
}

std::optional<std::string> ContentTypeForExtension(std::string_view extension)
{
    if (extension.starts_with('.'))
        extension.remove_prefix(1);
    if (extension.empty())
        return std::nullopt;
    ReadOnlyMapping mapping;
    if (FAILED(mapping.Open(MimeTypesFilePath())))
        return std::nullopt;
    std::string_view text(mapping.Bytes().data(), mapping.Bytes().size());
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        line = line.substr(0, line.find('#'));
        std::string_view type = NextWord(line);
        for (std::string_view word = NextWord(line); !word.empty(); word = NextWord(line)) {
            if (EqualNoCase(word, extension))
                return std::string(type);
        }
    }
    return std::nullopt;
}

} // namespace platform
