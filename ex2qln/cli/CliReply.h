// The grammar of one CLI reply line: a "+" continuation or a decimal code, then a blank and a text.
#pragma once

#include <optional>
#include <string_view>

namespace ex2qln::cli {

struct CliReplyLine {
    // 0 for a "+" line and for a line without a number.
    int code = 0;
    // What follows the blank after the code (or after the "+"); empty at the end of the line.
    std::string_view text;
};

// Parses `line` (without its terminator). A "+" line has code 0; otherwise the code is the
// decimal number after any leading white space, or 0 when there is none (the text then starts
// at the beginning of the line). The character after the code must be the end of the line or a
// blank; any other line is malformed and gives nullopt. Codes too large for an int stay at its
// maximum.
std::optional<CliReplyLine> ParseCliReply(std::string_view line);

} // namespace ex2qln::cli
