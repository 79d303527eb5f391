// The password dump searched in place, line by line.
#include "ex2qln/inputs/MappedPwd.h"

#include "ex2qln/cli/CliQuoting.h"

#include <mapicode.h>

namespace ex2qln::inputs {

void CMappedPwd::ScanField(std::size_t& position, std::string* field) const
{
    const std::span<const char> bytes = Bytes();
    while (!AtLineEnd(position)) {
        char character = bytes[position++];
        if (character == ':')
            return;
        if (character == '\\') {
            if (AtLineEnd(position))
                return;
            character = bytes[position++];
        }
        if (field != nullptr)
            *field += character;
    }
}

HRESULT CMappedPwd::FindNtHash(std::string_view account, std::string& hash) const
{
    hash.clear();
    if (account.empty())
        return MAPI_E_NOT_FOUND;
    const std::span<const char> bytes = Bytes();
    std::size_t position = 0;
    // A match needs the name and its ":" still ahead.
    while (bytes.size() - position > account.size()) {
        if (std::string_view(bytes.data() + position, account.size()) == account &&
            bytes[position + account.size()] == ':') {
            position += account.size() + 1;
            ScanField(position, nullptr);
            ScanField(position, nullptr);
            std::string ntHash;
            ScanField(position, &ntHash);
            cli::AppendCliQuoted(hash, ntHash);
            return S_OK;
        }
        SkipToLineEnd(position);
        SkipLineEnds(position);
    }
    return MAPI_E_NOT_FOUND;
}

} // namespace ex2qln::inputs
