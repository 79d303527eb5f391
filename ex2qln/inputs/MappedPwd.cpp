// The password dump searched in place, line by line.
#include "ex2qln/inputs/MappedPwd.h"

#include "ex2qln/cli/CliQuoting.h"

#include <mapicode.h>

namespace ex2qln::inputs {

std::size_t CMappedPwd::ScanField(std::size_t& position, std::string* field, std::size_t maximumLength) const
{
    const std::span<const char> bytes = Bytes();
    std::size_t length = 0;
    auto append = [&](char character) {
        if (++length <= maximumLength && field != nullptr)
            *field += character;
    };
    while (!AtLineEnd(position)) {
        ScanWhile(position, [&](std::size_t at) {
            const char character = bytes[at];
            if (IsLineEndCharacter(character) || character == ':' || character == '\\')
                return false;
            append(character);
            return true;
        });
        if (AtLineEnd(position))
            break;
        if (bytes[position++] == ':')
            break;
        // A backslash: the next character stands for itself.
        if (AtLineEnd(position))
            break;
        append(bytes[position++]);
    }
    return length;
}

HRESULT CMappedPwd::FindNtHash(std::string_view account, std::string& hash, std::size_t& line) const
{
    hash.clear();
    line = 0;
    if (account.empty())
        return MAPI_E_NOT_FOUND;
    const std::span<const char> bytes = Bytes();
    std::size_t position = 0;
    // A match needs the name and its ":" still ahead.
    while (bytes.size() - position > account.size()) {
        if (std::string_view(bytes.data() + position, account.size()) == account &&
            bytes[position + account.size()] == ':') {
            const std::size_t lineStart = position;
            position += account.size() + 1;
            ScanField(position, nullptr);
            ScanField(position, nullptr);
            std::string ntHash;
            if (ScanField(position, &ntHash, kMaximumHashLength) > kMaximumHashLength) {
                line = LineNumber(lineStart);
                return MAPI_E_TOO_BIG;
            }
            cli::AppendCliQuoted(hash, ntHash);
            return S_OK;
        }
        SkipToLineEnd(position);
        SkipLineEnds(position);
    }
    return MAPI_E_NOT_FOUND;
}

} // namespace ex2qln::inputs
