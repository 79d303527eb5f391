// Initialisation files: sections in file order, keys and values, read the way Windows reads them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// Lines end in LF or CR LF; a UTF-8 byte order mark is skipped. Blanks and tabs around section
// names, keys and values are dropped; lines whose first non-blank is ";" are comments; lines
// before the first section and lines without "=" are ignored. A repeated section or key: the
// first one counts for ReadString and ReadSection.
class IniFile {
public:
    using Entry = std::pair<std::string, std::string>;

    // Reads the file; nullopt when it cannot be read. Section and key names compare without case.
    static std::optional<IniFile> Load(const std::string& path);
    static IniFile Parse(std::string_view text);

    // The value; one pair of matching single or double quotes around it is removed.
    std::optional<std::string> ReadString(std::string_view section, std::string_view key) const;
    // The section's "key=value" lines in file order, as written, cut so that they fit
    // `maximumBytes` the way a whole-section read does (each line and its zero, plus the final
    // zero). Only whole lines are returned: a line that does not fit ends the list.
    std::vector<Entry> ReadSection(std::string_view section, std::size_t maximumBytes = 32767) const;
    bool HasSection(std::string_view section) const;
    std::vector<std::string> SectionNames() const;

private:
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };
    const Section* Find(std::string_view section) const;

    std::vector<Section> sections_;
};

} // namespace platform
