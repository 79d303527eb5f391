// Reading ENABLED and CAPABILITY lines into ServerFeatures.
#include "ex2qln/imap/ServerFeatures.h"

#include "ex2qln/imap/ImapKeywords.h"

#include <algorithm>

#include <strings.h>

namespace ex2qln::imap {
namespace {

bool EqualNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Calls `take` with each blank-separated word of `text`.
template <typename Take>
void ForEachWord(std::string_view text, Take take)
{
    while (!text.empty()) {
        const std::size_t start = text.find_first_not_of(' ');
        if (start == std::string_view::npos)
            return;
        text.remove_prefix(start);
        const std::size_t end = std::min(text.find(' '), text.size());
        take(text.substr(0, end));
        text.remove_prefix(end);
    }
}

} // namespace

bool ExtensionsEnabled(ULONG taggedKind, const ImapRecords& enabledLines)
{
    if (taggedKind != kKindOk)
        return false;
    bool named = false;
    for (const ImapRecord& record : enabledLines) {
        const SPropValue* words = record.kind == kKindEnabled ? FindProperty(record, kPropComment) : nullptr;
        if (words != nullptr)
            ForEachWord(words->Value.lpszA, [&](std::string_view word) { named = named || EqualNoCase(word, "EXTENSIONS"); });
    }
    return named;
}

void AddCapabilities(std::string_view words, ServerFeatures& features)
{
    ForEachWord(words, [&](std::string_view word) {
        if (EqualNoCase(word, "METADATA"))
            features.metadata = true;
        else if (EqualNoCase(word, "CREATE-SPECIAL-USE"))
            features.createSpecialUse = true;
    });
}

} // namespace ex2qln::imap
