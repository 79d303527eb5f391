// CMappedPwd: the password dump file, one "user:number:LM hash:NT hash:..." line per user.
#pragma once

#include "ex2qln/inputs/MappedFile.h"

#include <string>
#include <string_view>

namespace ex2qln::inputs {

class CMappedPwd : public CMappedText {
public:
    // Searches the file from its beginning for the first line that starts with `account` (with
    // case) and ":", and gives its fourth field, the NT hash, with escaping backslashes dropped and
    // the CLI quoted-string escapes applied. In the second to fourth fields a backslash makes the
    // next character literal (a line end excepted). S_OK when the line was found (the hash may be
    // empty); MAPI_E_NOT_FOUND when no line matches or `account` is empty.
    HRESULT FindNtHash(std::string_view account, std::string& hash) const;

private:
    // Moves past one field and its ":"; with `field`, copies it without escaping backslashes.
    void ScanField(std::size_t& position, std::string* field) const;
};

} // namespace ex2qln::inputs
