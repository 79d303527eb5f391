// The stand-in scripts and their records.
#include "tests/ex2qlnui/StandInUtility.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <thread>

namespace ex2qlnui::testing {
namespace {

void WriteScript(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
    ::chmod(path.c_str(), 0755);
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> NulSeparated(const std::string& text)
{
    std::vector<std::string> items;
    std::size_t start = 0;
    for (std::size_t end = text.find('\0'); end != std::string::npos; end = text.find('\0', start)) {
        items.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

std::string TrimmedLine(std::string text)
{
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

} // namespace

StandInUtility::StandInUtility(std::string directory) : directory_(std::move(directory))
{
    std::filesystem::create_directories(directory_ + "/record");
    // The record's arguments file is renamed into place last, so a reader never sees half of it.
    WriteScript(UtilityPath(), "#!/bin/sh\n"
                               "record='" + directory_ + "/record'\n"
                               "printf '%s\\0' \"$@\" > \"$record/arguments.part\"\n"
                               "for argument in \"$@\"; do\n"
                               "  case \"$argument\" in\n"
                               "    --pwd-file=*)\n"
                               "      file=\"${argument#--pwd-file=}\"\n"
                               "      stat -c %a \"$file\" > \"$record/password-mode\"\n"
                               "      dirname \"$file\" > \"$record/password-directory\"\n"
                               "      cat \"$file\" > \"$record/password\"\n"
                               "      rm -f \"$file\";;\n"
                               "  esac\n"
                               "done\n"
                               "echo 'stand-in ex2qln ran'\n"
                               "mv \"$record/arguments.part\" \"$record/arguments\"\n");
}

std::string StandInUtility::AddTerminal() const
{
    std::string path = directory_ + "/x-terminal-emulator";
    WriteScript(path, "#!/bin/sh\n"
                      "printf '%s\\0' \"$@\" > '" + directory_ + "/record/terminal'\n"
                      "[ \"$1\" = -e ] || exit 2\n"
                      "shift\n"
                      "exec \"$@\"\n");
    return path;
}

std::optional<UtilityRecord> StandInUtility::WaitForRecord() const
{
    const std::string record = directory_ + "/record/";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!std::filesystem::exists(record + "arguments")) {
        if (std::chrono::steady_clock::now() > deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    UtilityRecord result;
    result.arguments = NulSeparated(ReadAll(record + "arguments"));
    if (std::filesystem::exists(record + "password")) {
        result.password = ReadAll(record + "password");
        result.passwordFileMode = TrimmedLine(ReadAll(record + "password-mode"));
        result.passwordFileDirectory = TrimmedLine(ReadAll(record + "password-directory"));
    }
    return result;
}

std::vector<std::string> StandInUtility::TerminalArguments() const
{
    return NulSeparated(ReadAll(directory_ + "/record/terminal"));
}

bool StandInUtility::Ran() const
{
    return std::filesystem::exists(directory_ + "/record/arguments.part") ||
           std::filesystem::exists(directory_ + "/record/arguments");
}

} // namespace ex2qlnui::testing
