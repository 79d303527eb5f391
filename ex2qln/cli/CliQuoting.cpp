// CLI quoted-string escapes.
#include "ex2qln/cli/CliQuoting.h"

namespace ex2qln::cli {

void AppendCliQuoted(std::string& output, std::string_view text)
{
    for (const char character : text) {
        const auto code = static_cast<unsigned char>(character);
        if (code < 0x20 || code == 0x7F) {
            output += '\\';
            output += static_cast<char>('0' + code / 100);
            output += static_cast<char>('0' + code / 10 % 10);
            output += static_cast<char>('0' + code % 10);
            continue;
        }
        if (character == '\\' || character == '"')
            output += '\\';
        output += character;
    }
}

} // namespace ex2qln::cli
