// Fuzzes the profile settings file of profileonly: every entry found has the tag of its slot and a
// text no longer than the cut, and the entries found are counted.
#include "ex2qln/mapi/ProfileSettingsFile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ex2qln::mapi::ProfileEntries entries;
    const std::size_t found = ex2qln::mapi::ParseProfileSettings(text, "alice", entries);
    std::size_t set = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].tag == PR_NULL)
            continue;
        ++set;
        if (entries[i].tag != ex2qln::mapi::kProfileTags[i] || entries[i].text.size() > 259)
            std::abort();
    }
    if (set != found)
        std::abort();
    return 0;
}
