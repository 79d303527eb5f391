// Formats a localised text template with typed arguments, safe against templates from the language file.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace ex2qln::net {

// One argument: a text for %s, or a 32-bit number for the integer conversions.
class TextArgument {
public:
    TextArgument(std::string_view text) : isText_(true), text_(text) {}
    TextArgument(const char* text) : isText_(true), text_(text) {}
    TextArgument(const std::string& text) : isText_(true), text_(text) {}
    TextArgument(std::int32_t number) : number_(number) {}
    TextArgument(std::uint32_t number) : number_(static_cast<std::int32_t>(number)) {}

    bool IsText() const { return isText_; }
    std::string_view Text() const { return text_; }
    std::int32_t Number() const { return number_; }

private:
    bool isText_ = false;
    std::string_view text_;
    std::int32_t number_ = 0;
};

// printf-style formatting of `format` that never trusts it: a conversion whose argument is missing
// or of the other kind, and any conversion other than d i u x X o s, is copied as it stands;
// length modifiers are ignored (every number is 32 bits); "*" widths are not supported.
std::string FormatText(std::string_view format, std::span<const TextArgument> arguments);
inline std::string FormatText(std::string_view format, std::initializer_list<TextArgument> arguments)
{
    return FormatText(format, std::span<const TextArgument>(arguments.begin(), arguments.size()));
}

// FormatText over the localised text `number` (language file first, then the built-in table).
std::string FormatLocalizedText(unsigned number, std::initializer_list<TextArgument> arguments);

} // namespace ex2qln::net
