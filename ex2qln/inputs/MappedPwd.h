// CMappedPwd: the password dump file, one "user:number:LM hash:NT hash:..." line per user.
#pragma once

#include "ex2qln/inputs/MappedFile.h"

#include <string>
#include <string_view>

namespace ex2qln::inputs {

class CMappedPwd : public CMappedText {
public:
    // Longest NT hash that is read (an NT hash proper has 32 hexadecimal digits).
    static constexpr std::size_t kMaximumHashLength = 259;

    // Searches the file from its beginning for the first line that starts with `account` (with
    // case) and ":", and gives its fourth field, the NT hash, with escaping backslashes dropped and
    // the CLI quoted-string escapes applied. In the second to fourth fields a backslash makes the
    // next character literal (a line end excepted). S_OK when the line was found (the hash may be
    // empty); MAPI_E_NOT_FOUND when no line matches or `account` is empty; MAPI_E_TOO_BIG when the
    // hash is longer than kMaximumHashLength, and `line` then gets the number of its line (from 1).
    HRESULT FindNtHash(std::string_view account, std::string& hash, std::size_t& line) const;

private:
    // Moves past one field and its ":"; with `field`, copies at most `maximumLength` characters of
    // it without escaping backslashes. The length of the whole field.
    std::size_t ScanField(std::size_t& position, std::string* field, std::size_t maximumLength = 0) const;
};

} // namespace ex2qln::inputs
