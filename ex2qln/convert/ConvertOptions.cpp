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
        } else {
            error = "unknown option " + argument;
            return std::nullopt;
        }
    }
    if (options.files.empty()) {
        error = "no .msg file given";
        return std::nullopt;
    }
    if (options.outputDirectory == "-" && options.files.size() != 1) {
        error = "-o - writes one message: give one file";
        return std::nullopt;
    }
    return options;
}

} // namespace ex2qln::convert
