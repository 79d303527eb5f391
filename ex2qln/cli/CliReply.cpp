// The CLI reply grammar, kept apart from the session so that it can be tested and fuzzed alone.
#include "ex2qln/cli/CliReply.h"

#include <climits>

namespace ex2qln::cli {
namespace {

bool IsBlank(char character) { return character == ' ' || character == '\t'; }

bool IsWhiteSpace(char character)
{
    return IsBlank(character) || character == '\v' || character == '\f' || character == '\r' || character == '\n';
}

bool IsDigit(char character) { return character >= '0' && character <= '9'; }

// The position just after the code, or 0 when the line does not start with a number.
std::size_t ParseCode(std::string_view line, int& code)
{
    code = 0;
    std::size_t position = 0;
    while (position < line.size() && IsWhiteSpace(line[position]))
        ++position;
    if (position == line.size() || !IsDigit(line[position]))
        return 0;
    for (; position < line.size() && IsDigit(line[position]); ++position) {
        const int digit = line[position] - '0';
        code = code > (INT_MAX - digit) / 10 ? INT_MAX : code * 10 + digit;
    }
    return position;
}

} // namespace

std::optional<CliReplyLine> ParseCliReply(std::string_view line)
{
    CliReplyLine reply;
    std::size_t position = 0;
    if (!line.empty() && line.front() == '+')
        position = 1;
    else
        position = ParseCode(line, reply.code);
    if (position == line.size()) {
        reply.text = line.substr(position);
        return reply;
    }
    if (!IsBlank(line[position]))
        return std::nullopt;
    reply.text = line.substr(position + 1);
    return reply;
}

} // namespace ex2qln::cli
