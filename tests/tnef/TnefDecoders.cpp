// Running tnef and ytnef and reading their listings.
#include "TnefDecoders.h"

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <sys/wait.h>

#include "TnefTestMessages.h"

namespace tneftest {
namespace {

// The regular expressions below recurse per character: longer lines are not listing lines.
constexpr std::size_t kLongestLine = 32768;

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs a shell command; its standard output and error together.
int Run(const std::string& command, std::string& output)
{
    output.clear();
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return -1;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        output.append(buffer, got);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

void ReadFiles(const std::filesystem::path& directory, DecoderReport& report)
{
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        if (entry.is_regular_file())
            report.files[entry.path().filename().string()] = ReadFile(entry.path());
    }
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// tnef --debug lists "(MAPI) NAME <id> [type: ... <type>] [num_values = n] =" and then one
// tab-indented line per GUID, name and value; it repeats a multi-valued property's header as it
// fills the values, so a repeated header replaces the one before.
void ParseTnefListing(const std::string& output, DecoderReport& report)
{
    static const std::regex header(R"(^\(MAPI\) (?:\S+ <([0-9a-f]{4})>|([0-9a-f]{4})) \[type: .*<([0-9a-f]{4})>\] \[num_values = (\d+)\])");
    static const std::regex value(R"(^\t#(\d+) \[len: \d+\] = ?(.*)$)");
    static const std::regex guid(R"(^\tGUID: (.*)$)");
    static const std::regex name(R"(^\tname #\d+: '(.*)'$)");
    ListedProperty* current = nullptr;
    int component = 0;
    bool open = false;
    for (std::string line : Lines(output)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();  // texts come back with "\n" for "\r\n"
        std::smatch match;
        if (!open && line.rfind("(ATTA) Attachment Rendering Data", 0) == 0)
            ++component;
        // Attribute dumps can run to megabytes; the listing's own lines are short.
        if (!open && (line.rfind("(MESS)", 0) == 0 || line.rfind("(ATTA)", 0) == 0 || line.size() > kLongestLine)) {
            current = nullptr;
            continue;
        }
        if (!open && std::regex_search(line, match, header)) {
            ListedProperty property;
            property.component = component;
            property.id = match[1].matched ? match[1].str() : match[2].str();
            property.type = match[3].str();
            std::size_t count = std::stoul(match[4].str());
            if (count > 1 && !report.properties.empty() && report.properties.back().id == property.id &&
                report.properties.back().type == property.type)
                report.properties.pop_back();
            report.properties.push_back(std::move(property));
            current = &report.properties.back();
        } else if (open) {
            // A string value with line ends goes on until the line that closes its quote.
            current->values.back() += "\n" + line;
            open = !(line.size() > 0 && line.back() == '\'');
            if (!open)
                current->values.back() = current->values.back().substr(1, current->values.back().size() - 2);
        } else if (current != nullptr && std::regex_search(line, match, value)) {
            std::string text = match[2].str();
            if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'')
                text = text.substr(1, text.size() - 2);
            else if (!text.empty() && text.front() == '\'')
                open = true;
            current->values.push_back(text);
        } else if (current != nullptr && std::regex_search(line, match, guid)) {
            current->guid = match[1].str();
        } else if (current != nullptr && std::regex_search(line, match, name)) {
            current->name = match[1].str();
        } else if (line.rfind("\t", 0) != 0) {
            current = nullptr;
        }
    }
}

// ytnef -v -v -v lists "#n: Type: [ T ]  Code: [PR_X | 0xid | UD:xid]", an optional "Name: x",
// and "Size: n    Value: v" (with "[i/n]" before each value of a multi-valued property).
void ParseYtnefListing(const std::string& output, DecoderReport& report)
{
    static const std::regex header(R"(^\s+#\d+: Type: \[.*\]\s+Code: \[(?:UD:x|0x)?([0-9A-Za-z_]+)\])");
    static const std::regex value(R"(^\s+(?:\[\d+/\d+\] )?Size: \d+\s+Value: (.*)$)");
    static const std::regex name(R"(^\s+Name: (.*)$)");
    for (const std::string& line : Lines(output)) {
        std::smatch match;
        if (line.size() > kLongestLine || line.rfind("DEBUG", 0) == 0)
            continue;
        if (std::regex_search(line, match, header)) {
            ListedProperty property;
            property.id = Lower(match[1].str());
            report.properties.push_back(std::move(property));
        } else if (!report.properties.empty() && std::regex_search(line, match, value)) {
            std::string text = match[1].str();
            if (text.size() >= 2 && text.front() == '[' && text.back() == ']')
                text = text.substr(1, text.size() - 2);
            report.properties.back().values.push_back(text);
        } else if (!report.properties.empty() && std::regex_search(line, match, name)) {
            report.properties.back().name = match[1].str();
        }
    }
}

std::filesystem::path Fresh(const std::filesystem::path& directory, const std::string& name)
{
    std::filesystem::path path = directory / name;
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path;
}

} // namespace

bool HaveProgram(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::istringstream directories(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string directory; std::getline(directories, directory, ':');) {
        std::error_code error;
        if (!directory.empty() && std::filesystem::is_regular_file(std::filesystem::path(directory) / name, error))
            return true;
    }
    return false;
}

DecoderReport DecodeWithTnef(const std::vector<std::uint8_t>& stream, const std::filesystem::path& directory)
{
    DecoderReport report;
    std::filesystem::path input = directory / "decode.tnef";
    WriteFile(input, stream);
    report.exitCode = Run("tnef -t --debug -f " + Quote(input.string()), report.output);
    for (const std::string& line : Lines(report.output)) {
        if (line.find("ERROR") != std::string::npos || line.find("WARNING") != std::string::npos)
            report.errors.push_back(line);
    }
    ParseTnefListing(report.output, report);
    std::filesystem::path files = Fresh(directory, "tnef-files");
    std::string ignored;
    int extracted = Run("tnef --overwrite -C " + Quote(files.string()) + " -f " + Quote(input.string()), ignored);
    if (extracted != 0)
        report.extractionError = "tnef -C exited with " + std::to_string(extracted) + ": " + ignored;
    ReadFiles(files, report);
    return report;
}

DecoderReport DecodeWithYtnef(const std::vector<std::uint8_t>& stream, const std::filesystem::path& directory)
{
    DecoderReport report;
    std::filesystem::path input = directory / "decode.tnef";
    WriteFile(input, stream);
    report.exitCode = Run("ytnef -v -v -v " + Quote(input.string()), report.output);
    static const char* const kFaults[] = {"ERROR", "Bad file", "Corrupt", "corrupt", "mismatch", "missing"};
    for (const std::string& line : Lines(report.output)) {
        if (line.rfind("DEBUG", 0) == 0)
            continue;
        for (const char* fault : kFaults) {
            if (line.find(fault) != std::string::npos) {
                report.errors.push_back(line);
                break;
            }
        }
    }
    ParseYtnefListing(report.output, report);
    std::filesystem::path files = Fresh(directory, "ytnef-files");
    std::string ignored;
    int extracted = Run("ytnef -f " + Quote(files.string()) + " " + Quote(input.string()), ignored);
    if (extracted != 0)
        report.extractionError = "ytnef -f exited with " + std::to_string(extracted) + ": " + ignored;
    ReadFiles(files, report);
    return report;
}

std::vector<const ListedProperty*> FindListed(const DecoderReport& report, const std::string& id)
{
    std::vector<const ListedProperty*> found;
    for (const ListedProperty& property : report.properties) {
        if (property.id == id)
            found.push_back(&property);
    }
    return found;
}

std::string Hex4(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof(text), "%04x", value & 0xFFFFu);
    return text;
}

} // namespace tneftest
