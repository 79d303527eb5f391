// Folder-name validity and repair on UTF-16 names.
#include "ex2qln/imap/FolderName.h"

#include <array>

namespace ex2qln::imap {
namespace {

bool IsForbiddenAnywhere(char16_t c) { return c < 0x20 || c == u'/' || c == u'\\' || c == u'"' || c == u'#'; }

bool IsForbiddenFirst(char16_t c) { return c == u'~' || c == u' ' || c == u'.'; }

char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 0x20) : c; }

// Names ending like this would be taken by the server for its own folder storage.
bool EndsWithStorageSuffix(std::u16string_view name)
{
    constexpr std::array<std::u16string_view, 3> kSuffixes{u".mbox", u".mdir", u".mslc"};
    if (name.size() < 5)
        return false;
    const std::u16string_view tail = name.substr(name.size() - 5);
    for (const std::u16string_view suffix : kSuffixes) {
        bool same = true;
        for (std::size_t i = 0; i < suffix.size() && same; ++i)
            same = AsciiLower(tail[i]) == suffix[i];
        if (same)
            return true;
    }
    return false;
}

} // namespace

bool IsValidFolderName(std::u16string_view name)
{
    if (name.empty() || IsForbiddenFirst(name.front()) || name.back() == u' ')
        return false;
    for (const char16_t c : name) {
        if (IsForbiddenAnywhere(c))
            return false;
    }
    return true;
}

void FixFolderName(std::u16string& name)
{
    if (name.empty())
        return;
    const char16_t first = name.front();
    if (first < 0x21 || first == u'.' || first == u'~' || first == u'/')
        name.front() = u'_';
    // The first character goes through these rules too, so that no name stays invalid after a fix.
    for (char16_t& c : name) {
        if (c < 0x20 || c == u'\\' || c == u'#' || c == u'/')
            c = u'_';
        else if (c == u'"')
            c = u'\'';
    }
    if (name.back() == u' ')
        name.back() = u'_';
    if (EndsWithStorageSuffix(name))
        name[name.size() - 5] = u'-';
}

} // namespace ex2qln::imap
