// The 29 response keywords, sorted for a binary search without regard to letter case.
#include "ex2qln/imap/ImapKeywords.h"

#include <algorithm>
#include <array>

namespace ex2qln::imap {
namespace {

struct Keyword {
    std::string_view name;
    std::uint32_t kind;
};

// Sorted by name; the static_assert below keeps it so.
constexpr std::array<Keyword, 29> kKeywords{{
    {"ACCOUNTRULES", kKindAccountRules},
    {"ACCOUNTSETTINGS", kKindAccountSettings},
    {"ACL", kKindAcl},
    {"BAD", kKindBad},
    {"BYE", kKindBye},
    {"CAPABILITY", kKindCapability},
    {"CLIENTSETTINGS", kKindClientSettings},
    {"DIRECTORYDATA", kKindDirectoryData},
    {"ENABLED", kKindEnabled},
    {"EXISTS", kKindExists},
    {"EXPUNGE", kKindExpunge},
    {"FETCH", kKindFetch},
    {"FLAGS", kKindFlags},
    {"LIST", kKindList},
    {"LSUB", kKindLsub},
    {"MAILTRAILER", kKindMailTrailer},
    {"MAKECALL", kKindMakeCall},
    {"MAPICODE", kKindMapiCode},
    {"MYRIGHTS", kKindMyRights},
    {"NO", kKindNo},
    {"OK", kKindOk},
    {"QUOTA", kKindQuota},
    {"QUOTAROOT", kKindQuotaRoot},
    {"RECENT", kKindRecent},
    {"SPECIALMAILBOX", kKindSpecialMailbox},
    {"STATUS", kKindStatus},
    {"STORE", kKindStore},
    {"TIME", kKindTime},
    {"WEBFILEDATA", kKindWebFileData},
}};

constexpr bool IsSorted()
{
    for (std::size_t i = 1; i < kKeywords.size(); ++i) {
        if (!(kKeywords[i - 1].name < kKeywords[i].name))
            return false;
    }
    return true;
}
static_assert(IsSorted(), "the keyword table must stay sorted");

unsigned char AsciiUpper(unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 0x20) : c; }

// Compares `word` with an upper-case table name as if `word` were upper case too.
int CompareUpper(std::string_view word, std::string_view name)
{
    const std::size_t common = std::min(word.size(), name.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto left = AsciiUpper(static_cast<unsigned char>(word[i]));
        const auto right = static_cast<unsigned char>(name[i]);
        if (left != right)
            return left < right ? -1 : 1;
    }
    if (word.size() == name.size())
        return 0;
    return word.size() < name.size() ? -1 : 1;
}

} // namespace

std::uint32_t LookUpKeyword(std::string_view keyword)
{
    std::size_t low = 0;
    std::size_t high = kKeywords.size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        const int order = CompareUpper(keyword, kKeywords[middle].name);
        if (order == 0)
            return kKeywords[middle].kind;
        if (order < 0)
            high = middle;
        else
            low = middle + 1;
    }
    return kKindUnknown;
}

} // namespace ex2qln::imap
