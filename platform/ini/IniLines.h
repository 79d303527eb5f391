// The line format that initialisation files and the registry substitute's files share: lines end in
// LF or CR LF, blanks around a line do not count, lines that are empty or start with ";" are
// comments, and a line that starts with "[" names a section (a registry key).
#pragma once

#include <optional>
#include <string_view>

namespace platform {

struct IniLine {
    enum class Kind { Section, Other };
    Kind kind = Kind::Other;
    // The line without the blanks around it; for a section, what follows the "[".
    std::string_view text;
};

// What counts as blank around a line: initialisation files also drop form feeds and vertical tabs,
// the registry format only spaces, tabs and carriage returns.
inline constexpr std::string_view kIniBlanks = " \t\r\v\f";
inline constexpr std::string_view kRegistryBlanks = " \t\r";

// The text without the `blanks` at either end.
std::string_view TrimmedOf(std::string_view text, std::string_view blanks);

// Reads a text line by line, passing over comments.
class IniLineReader {
public:
    IniLineReader(std::string_view text, std::string_view blanks) : rest_(text), blanks_(blanks) {}

    // The next line that is not a comment; nullopt at the end of the text.
    std::optional<IniLine> Next();

private:
    std::string_view rest_;
    std::string_view blanks_;
};

} // namespace platform
