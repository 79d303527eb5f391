// CreateGroup lines.
#include "ex2qln/directory/GroupScript.h"

#include "ex2qln/cli/CliQuoting.h"
#include "ex2qln/directory/AnsiText.h"

#include <algorithm>

namespace ex2qln::directory {

std::string CreateGroupLine(std::string_view address, std::optional<std::string_view> displayName,
                            const std::vector<std::string>& members, unsigned codePage)
{
    std::string line = "CreateGroup ";
    line += address;
    line += " { ";
    if (displayName && !displayName->empty()) {
        line += "RealName=\"";
        cli::AppendCliQuoted(line, AnsiToUtf8(*displayName, codePage));
        line += "\"; ";
    }
    line += "Members=(";
    for (std::size_t index = 0; index < members.size(); ++index) {
        if (index != 0)
            line += ',';
        line += members[index];
    }
    line += ");}\n";
    return line;
}

bool IsScriptWord(std::string_view address)
{
    return !address.empty() && std::ranges::none_of(address, [](char character) {
        const auto code = static_cast<unsigned char>(character);
        return code < 0x20 || code == 0x7F;
    });
}

} // namespace ex2qln::directory
