// CLI quoted-string escapes.
#include "ex2qln/cli/CliQuoting.h"

#include "ex2qln/diag/PeerText.h"

namespace ex2qln::cli {

void AppendCliQuoted(std::string& output, std::string_view text)
{
    for (const char character : text) {
        const auto code = static_cast<unsigned char>(character);
        if (code < 0x20 || code == 0x7F) {
            diag::AppendByteEscape(output, code);
            continue;
        }
        if (character == '\\' || character == '"')
            output += '\\';
        output += character;
    }
}

} // namespace ex2qln::cli
