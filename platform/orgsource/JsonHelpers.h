// Reading the JSON of an organisation file: the syntax check, members of objects by name with the
// JSON path of each value for error texts, and the text forms the readers derive from strings.
#pragma once

#include "platform/orgsource/PropertyReader.h"

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace platform::orgsource {

// Parses the file's text. A syntax error, arrays and objects nested more than 256 deep, or a key
// given twice in one object (the JSON library would keep only the last one) throws ReadError with
// MAPI_E_CORRUPT_DATA.
Json ParseJson(std::string_view text);

// Refuses members of `object` that are not in `allowed` (or "comment"), so that a misspelt member
// does not pass unnoticed; refuses a value that is not an object.
void CheckMembers(const Json& object, const std::string& path, std::initializer_list<std::string_view> allowed);

const Json* Member(const Json& object, std::string_view name);
// A string member, nullopt when absent; anything else than a string is refused.
std::optional<std::string> OptionalString(const Json& object, std::string_view name, const std::string& path);
// A string member that must be there and not be empty.
std::string RequiredString(const Json& object, std::string_view name, const std::string& path);
// An array member, null when absent; anything else than an array is refused.
const Json* OptionalArray(const Json& object, std::string_view name, const std::string& path);

// "\"text\"", for error texts.
std::string Quoted(std::string_view text);
// ASCII letters in lower case: names and keys compare without case through it.
std::string Lower(std::string_view text);
// UTF-8 text of the file as UTF-16 (the JSON library has checked the UTF-8).
std::u16string Utf16(const std::string& text);

} // namespace platform::orgsource
