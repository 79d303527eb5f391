// Locale facts from the C library's locale and the environment.
#include "platform/locale/Locale.h"

#include "platform/locale/CodePages.h"

#include <clocale>
#include <cstdlib>
#include <langinfo.h>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

bool NamesALanguage(const char* localeName)
{
    if (!localeName || !*localeName)
        return false;
    std::string_view name = localeName;
    return name != "C" && name != "POSIX" && !name.starts_with("C.");
}

const char* Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

} // namespace

std::string ListSeparator() { return ","; }

std::string AnsiCodeSetName()
{
    const char* codeSet = nl_langinfo(CODESET);
    return codeSet && *codeSet ? codeSet : "ANSI_X3.4-1968";
}

unsigned AnsiCodePage() { return CodePageFromCodeSetName(AnsiCodeSetName()); }

std::uint16_t UserDefaultLanguageId()
{
    // The process's message locale when the program has set one; otherwise what the user asked
    // for in the environment, so the language is known even when that locale is not installed.
    const char* messages = std::setlocale(LC_MESSAGES, nullptr);
    if (NamesALanguage(messages))
        return LanguageIdFromLocaleName(messages);
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = Environment(variable))
            return LanguageIdFromLocaleName(value);
    }
    return LanguageIdFromLocaleName("C");
}

std::string UserName()
{
    long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd entry {};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name)
        return found->pw_name;
    for (const char* variable : {"USER", "LOGNAME"}) {
        if (const char* value = Environment(variable))
            return value;
    }
    return {};
}

} // namespace platform
