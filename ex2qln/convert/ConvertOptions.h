// The command line of qlnconvert.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ex2qln::convert {

struct ConvertOptions {
    bool convertRtf = false;
    std::string outputDirectory = ".";   // "-" writes the one message to standard output
    std::optional<std::string> user;     // the mailbox's SMTP address
    std::optional<std::string> name;     // the mailbox's display name
    unsigned codePage = 1252;            // of data files' 8-bit text that does not name its own
    std::vector<std::string> files;
};

// Reads the arguments after the program's name; nullopt with `error` set when they are not usable.
std::optional<ConvertOptions> ParseConvertOptions(const std::vector<std::string>& arguments, std::string& error);

} // namespace ex2qln::convert
