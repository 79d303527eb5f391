// Fields of the accounts CSV as the mailboxes export writes them.
#pragma once

#include <mapidefs.h>

#include <string>
#include <string_view>

namespace ex2qln::directory {

// Appends text, quoted (in double quotes, each double quote doubled) when it starts with a double
// quote or holds the separator or a line break; otherwise as it is.
void AppendCsvText(std::string& row, std::string_view text, std::string_view separator);

// Appends a value: PT_STRING8 as text, PT_I2 and PT_LONG in signed decimal, PT_BOOLEAN as "YES" or
// "NO"; anything else (a missing value included) as an empty field.
void AppendCsvValue(std::string& row, const SPropValue& value, std::string_view separator);

} // namespace ex2qln::directory
