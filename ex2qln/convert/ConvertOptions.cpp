// qlnconvert's options.
#include "ex2qln/convert/ConvertOptions.h"

namespace ex2qln::convert {

std::optional<ConvertOptions> ParseConvertOptions(const std::vector<std::string>& arguments, std::string& error)
{
    ConvertOptions options;
    bool filesOnly = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (filesOnly || argument.empty() || argument[0] != '-' || argument == "-") {
            options.files.push_back(argument);
        } else if (argument == "--") {
            filesOnly = true;
        } else if (argument == "--convert-rtf") {
            options.convertRtf = true;
        } else if (argument == "-o") {
            if (i + 1 == arguments.size()) {
                error = "-o needs a directory";
                return std::nullopt;
            }
            options.outputDirectory = arguments[++i];
        } else if (argument.starts_with("--user=")) {
            options.user = argument.substr(7);
        } else if (argument.starts_with("--name=")) {
            options.name = argument.substr(7);
        } else if (argument.starts_with("--code-page=")) {
            const std::string number = argument.substr(12);
            if (number.empty() || number.size() > 5 || number.find_first_not_of("0123456789") != std::string::npos ||
                std::stoul(number) == 0 || std::stoul(number) > 65535) {
                error = "--code-page needs a Windows code page number";
                return std::nullopt;
            }
            options.codePage = static_cast<unsigned>(std::stoul(number));
        } else {
            error = "unknown option " + argument;
            return std::nullopt;
        }
    }
    if (options.files.empty()) {
        error = "no .msg or data file given";
        return std::nullopt;
    }
    if (options.outputDirectory == "-" && options.files.size() != 1) {
        error = "-o - writes one message: give one file";
        return std::nullopt;
    }
    return options;
}

} // namespace ex2qln::convert
