// Fuzzes the attribute map of the directory exports: both sections, their tags and names, and the
// LDIF text rules on whatever the map and the target DN hold.
#include "ex2qln/directory/AttributeMap.h"
#include "ex2qln/directory/LdifEntryWriter.h"
#include "ex2qln/directory/LdifText.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

// A SAFE-STRING or Base64 value never holds a line break, so it cannot end the LDIF line early.
void CheckOneLine(std::string_view value)
{
    std::string line = "x";
    ex2qln::directory::AppendLdifValue(line, value);
    if (line.find_first_of("\r\n") != std::string::npos || line.find('\0') != std::string::npos)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<ex2qln::directory::MapLine> lines;
    std::string rejected;
    if (SUCCEEDED(ex2qln::directory::ParseMapSection(text, "csv", lines))) {
        ex2qln::directory::CsvMap map;
        ex2qln::directory::BuildCsvMap(lines, map, rejected);
        if (map.tags.size() != map.titles.size())
            std::abort();
    }
    if (SUCCEEDED(ex2qln::directory::ParseMapSection(text, "ldif", lines))) {
        ex2qln::directory::LdifMap map;
        ex2qln::directory::LdifMapProblem problem;
        if (SUCCEEDED(ex2qln::directory::BuildLdifMap(lines, map, rejected, problem))) {
            for (const auto& attribute : map.attributes) {
                if (!ex2qln::directory::IsAttributeDescription(attribute.name))
                    std::abort();
            }
        }
    }
    CheckOneLine(text);
    CheckOneLine(ex2qln::directory::EscapeDnValue(text));
    CheckOneLine(ex2qln::directory::DeriveSurname(text));
    const ex2qln::directory::LdifMap defaultMap = ex2qln::directory::DefaultLdifMap();
    const ex2qln::directory::LdifEntryWriter writer(defaultMap, text, 65001);
    const std::string container = writer.ContainerEntry();
    if (!text.empty() && !container.ends_with("\n\n"))
        std::abort();
    return 0;
}
