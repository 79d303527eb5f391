// Fuzzes the initialisation-file parser and its look-ups, including the whole-section limit.
#include "platform/ini/IniFile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::IniFile file = platform::IniFile::Parse(text);
    for (const std::string& section : file.SectionNames()) {
        constexpr std::size_t kLimit = 64;
        std::size_t used = 1;
        for (const platform::IniFile::Entry& entry : file.ReadSection(section, kLimit)) {
            used += entry.first.size() + entry.second.size() + 2;
            if (!file.ReadString(section, entry.first))
                std::abort();
        }
        if (used > kLimit && used != 1)
            std::abort();
    }
    file.ReadString("Language", "LanguageId");
    return 0;
}
