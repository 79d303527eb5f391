// Safe formatting of localised text templates: conversions are checked against the argument kinds.
#include "ex2qln/net/TextFormat.h"

#include "ex2qln/diag/LocalizedText.h"

#include <algorithm>
#include <cstdio>

namespace ex2qln::net {
namespace {

constexpr std::string_view kFlags = "-+ #0";
constexpr std::string_view kLengthModifiers = "hlLqjzt";
constexpr std::string_view kIntegerConversions = "diuxXo";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The parts of one conversion "%[flags][width][.precision][length]conversion".
struct Conversion {
    std::string prefix;  // "%", flags, width, precision: re-used as they stand
    char conversion = 0;
    std::size_t length = 0;  // bytes of the whole conversion in the template
};

// Parses the conversion that starts at `format[start]` ('%'); conversion 0 when it is incomplete.
Conversion ParseConversion(std::string_view format, std::size_t start)
{
    Conversion result;
    std::size_t position = start + 1;
    auto take = [&](auto accept, std::size_t maximum) {
        for (std::size_t count = 0; position < format.size() && count < maximum && accept(format[position]);
             ++count)
            result.prefix += format[position++];
    };
    result.prefix = "%";
    take([](char c) { return kFlags.find(c) != std::string_view::npos; }, 8);
    // Width and precision are capped at two digits so no template can ask for huge output.
    take(IsDigit, 2);
    if (position < format.size() && format[position] == '.') {
        result.prefix += format[position++];
        take(IsDigit, 2);
    }
    while (position < format.size() && kLengthModifiers.find(format[position]) != std::string_view::npos)
        ++position;
    if (position < format.size())
        result.conversion = format[position++];
    result.length = position - start;
    return result;
}

void AppendNumber(std::string& output, const Conversion& conversion, std::int32_t number)
{
    const std::string spec = conversion.prefix + conversion.conversion;
    char buffer[128];
    int written = 0;
    if (conversion.conversion == 'd' || conversion.conversion == 'i')
        written = std::snprintf(buffer, sizeof buffer, spec.c_str(), static_cast<int>(number));
    else
        written = std::snprintf(buffer, sizeof buffer, spec.c_str(), static_cast<unsigned>(number));
    if (written > 0)
        output.append(buffer, std::min<std::size_t>(static_cast<std::size_t>(written), sizeof buffer - 1));
}

void AppendText(std::string& output, const Conversion& conversion, std::string_view text)
{
    // Precision cuts, width pads on the left unless the "-" flag is given.
    std::size_t position = 1;
    bool leftAlign = false;
    while (position < conversion.prefix.size() && kFlags.find(conversion.prefix[position]) != std::string_view::npos)
        leftAlign |= conversion.prefix[position++] == '-';
    std::size_t width = 0;
    while (position < conversion.prefix.size() && IsDigit(conversion.prefix[position]))
        width = width * 10 + static_cast<std::size_t>(conversion.prefix[position++] - '0');
    if (position < conversion.prefix.size() && conversion.prefix[position] == '.') {
        std::size_t precision = 0;
        for (++position; position < conversion.prefix.size(); ++position)
            precision = precision * 10 + static_cast<std::size_t>(conversion.prefix[position] - '0');
        text = text.substr(0, precision);
    }
    const std::size_t padding = width > text.size() ? width - text.size() : 0;
    if (!leftAlign)
        output.append(padding, ' ');
    output.append(text);
    if (leftAlign)
        output.append(padding, ' ');
}

} // namespace

std::string FormatText(std::string_view format, std::span<const TextArgument> arguments)
{
    std::string output;
    auto argument = arguments.begin();
    for (std::size_t position = 0; position < format.size();) {
        const std::size_t percent = format.find('%', position);
        output.append(format.substr(position, percent - position));
        if (percent == std::string_view::npos)
            break;
        if (percent + 1 < format.size() && format[percent + 1] == '%') {
            output += '%';
            position = percent + 2;
            continue;
        }
        const Conversion conversion = ParseConversion(format, percent);
        position = percent + conversion.length;
        const bool wantsText = conversion.conversion == 's';
        const bool wantsNumber = conversion.conversion != 0 &&
                                 kIntegerConversions.find(conversion.conversion) != std::string_view::npos;
        if (argument == arguments.end() || (!wantsText && !wantsNumber) ||
            argument->IsText() != wantsText) {
            output.append(format.substr(percent, conversion.length));
            if (argument != arguments.end() && (wantsText || wantsNumber))
                ++argument;
            continue;
        }
        if (wantsText)
            AppendText(output, conversion, argument->Text());
        else
            AppendNumber(output, conversion, argument->Number());
        ++argument;
    }
    return output;
}

std::string FormatLocalizedText(unsigned number, std::initializer_list<TextArgument> arguments)
{
    return FormatText(diag::ErrorText(number), arguments);
}

} // namespace ex2qln::net
