// Texts in the user's language: overrides from the language file over the built-in string table.
#pragma once

#include <cstddef>
#include <string>

namespace ex2qln::diag {

// Looks up key `number` of section "<baseName>_<language>" in the language file at `filePath`,
// converts it from UTF-8 to the ANSI code page and unescapes it. Returns the length, or 0.
std::size_t LookUpText(const char* filePath, const char* baseName, unsigned number, char* output,
                       std::size_t outputSize);

// The language file override of text `number` (base "Strings"), else the built-in text.
// Returns the length, or 0 when neither has it.
std::size_t LoadErrorText(unsigned number, char* output, std::size_t outputSize);

// Convenience for callers that format the text: the same look-up into a string.
std::string ErrorText(unsigned number);

// The text of control `control` (0: the title) of dialog `dialogId` ("Dialog_%d" section).
bool LookUpDialogText(unsigned dialogId, unsigned control, char* output, std::size_t outputSize);

} // namespace ex2qln::diag
