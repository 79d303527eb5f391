// Splitting initialisation and registry text into lines.
#include "platform/ini/IniLines.h"

namespace platform {

std::string_view TrimmedOf(std::string_view text, std::string_view blanks)
{
    std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::optional<IniLine> IniLineReader::Next()
{
    while (!rest_.empty()) {
        std::size_t end = rest_.find('\n');
        std::string_view line = TrimmedOf(rest_.substr(0, end), blanks_);
        rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[')
            return IniLine{IniLine::Kind::Section, line.substr(1)};
        return IniLine{IniLine::Kind::Other, line};
    }
    return std::nullopt;
}

} // namespace platform
