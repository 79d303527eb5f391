// Texts in the user's language: overrides from the language file over the built-in string table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ex2qln::diag {

// The language file "qlnconn32.ini": in the user's configuration directory ($XDG_CONFIG_HOME/ex2qln/,
// else ~/.config/ex2qln/), else the machine's (/etc/ex2qln/); the first that exists. Empty when
// neither exists.
std::string LanguageFilePath();

// Looks up key `number` of section "<baseName>_<language>" in the language file at `filePath`,
// converts it from UTF-8 to the ANSI code page and unescapes it. Returns the length, or 0.
// The language is chosen on the first look-up of the process (from that file's "Language" section
// or the user's locale) and kept.
std::size_t LookUpText(const char* filePath, const char* baseName, unsigned number, char* output,
                       std::size_t outputSize);

// The language file override of text `number` (base "Strings"), else the built-in text.
// Returns the length, or 0 when neither has it.
std::size_t LoadErrorText(unsigned number, char* output, std::size_t outputSize);

// Convenience for callers that format the text: the same look-up into a string.
std::string ErrorText(unsigned number);

// The text of control `control` (0: the title) of dialog `dialogId` ("Dialog_%d" section).
bool LookUpDialogText(unsigned dialogId, unsigned control, char* output, std::size_t outputSize);

// The language chosen for this process (chosen now when no look-up has chosen it yet).
std::uint16_t TextLanguage();

// `utf8` in the character set `codeSet` (an iconv name); nullopt when it is not valid UTF-8 or
// would lose a character on the way.
std::optional<std::string> ConvertFromUtf8(std::string_view utf8, const char* codeSet);

// For tests only: forgets the chosen language so that the next look-up chooses again.
void ResetTextLanguageForTesting();

} // namespace ex2qln::diag
