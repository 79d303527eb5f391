// The CLI group script that the distlists export writes: one CreateGroup line per list.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ex2qln::directory {

// "CreateGroup <address> { RealName=\"<name>\"; Members=(<a>,<b>);}\n"; RealName only with a
// display name, which goes into UTF-8 from `codePage` with the CLI string escapes.
std::string CreateGroupLine(std::string_view address, std::optional<std::string_view> displayName,
                            const std::vector<std::string>& members, unsigned codePage);

// Whether an address can stand as a word on a script line: not empty, no control characters.
bool IsScriptWord(std::string_view address);

} // namespace ex2qln::directory
