// Fuzzes the line format that initialisation and registry files share, and both readers over it:
// the line reader's lines hold no line end and no blanks at their ends; the initialisation file's
// look-ups, including the whole-section limit, hold what the file holds; a registry text parses or is
// refused, and what parses writes back to a text that parses to the same tree.
#include "platform/ini/IniFile.h"
#include "platform/ini/IniLines.h"
#include "platform/registry/RegistryStore.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

bool IsBlank(std::string_view blanks, char c) { return blanks.find(c) != std::string_view::npos; }

void CheckLines(std::string_view text, std::string_view blanks)
{
    platform::IniLineReader reader(text, blanks);
    while (std::optional<platform::IniLine> line = reader.Next()) {
        const std::string_view found = line->text;
        if (found.find('\n') != std::string_view::npos || (!found.empty() && IsBlank(blanks, found.back())))
            std::abort();
        if (line->kind == platform::IniLine::Kind::Section)
            continue;
        if (found.empty() || IsBlank(blanks, found.front()) || found.front() == ';' || found.front() == '[')
            std::abort();
    }
}

void CheckIniFile(std::string_view text)
{
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
}

void CheckRegistry(std::string_view text)
{
    std::optional<platform::RegistryStore> store = platform::RegistryStore::Parse(text);
    if (!store)
        return;
    std::optional<platform::RegistryStore> again = platform::RegistryStore::Parse(store->Serialise());
    if (!again || !(*again == *store))
        std::abort();
    store->SubkeyNames("");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckLines(text, platform::kIniBlanks);
    CheckLines(text, platform::kRegistryBlanks);
    CheckIniFile(text);
    CheckRegistry(text);
    return 0;
}
