// Running tnef and ytnef and reading their listings.
#include "tests/platform/mapi/core/TnefDecoders.h"

#include "tests/platform/mapi/core/TnefTestMessages.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TemporaryDirectory.h"

#include <sstream>
#include <string_view>
#include <utility>

namespace tneftest {
namespace {

// Runs a decoder found on PATH; its standard output and error together, and its exit code.
int Run(const std::string& program, std::vector<std::string> arguments, std::string& output)
{
    testsupport::ProcessRun run;
    run.program = testsupport::FindProgram(program);
    run.arguments = std::move(arguments);
    run.errorsWithOutput = true;
    const testsupport::ProcessResult result = testsupport::RunProcess(run);
    output = result.standardOutput;
    return result.exitCode;
}

// The stream as the file decode.tnef in `directory`; its path.
std::filesystem::path WriteStream(const std::filesystem::path& directory, const std::vector<std::uint8_t>& stream)
{
    const std::filesystem::path input = directory / "decode.tnef";
    testsupport::WriteFile(input, std::string_view(reinterpret_cast<const char*>(stream.data()), stream.size()));
    return input;
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
            report.files[entry.path().filename().string()] = testsupport::ReadFile(entry.path());
    }
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// The text between `open` and the next `close` after it; empty when either is missing.
std::string Between(const std::string& text, const std::string& open, const std::string& close,
                    std::size_t from = 0)
{
    std::size_t begin = text.find(open, from);
    if (begin == std::string::npos)
        return {};
    begin += open.size();
    std::size_t end = text.find(close, begin);
    return end == std::string::npos ? std::string() : text.substr(begin, end - begin);
}

std::string Unquoted(const std::string& text, char open, char close)
{
    if (text.size() >= 2 && text.front() == open && text.back() == close)
        return text.substr(1, text.size() - 2);
    return text;
}

// tnef --debug lists "(MAPI) NAME <id> [type: ... <type>] [num_values = n] =" (or "(MAPI) id
// [type: ...") and then one tab-indented line per GUID, name and value ("\t#i [len: n] = v"); it
// repeats a multi-valued property's header as it fills the values, so a repeated header replaces
// the one before. Texts with line ends run on over the following lines.
void ParseTnefListing(const std::string& output, DecoderReport& report)
{
    ListedProperty* current = nullptr;
    int component = 0;
    bool open = false;
    for (std::string line : Lines(output)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();  // texts come back with "\n" for "\r\n"
        if (open) {
            current->values.back() += "\n" + line;
            open = line.empty() || line.back() != '\'';
            if (!open)
                current->values.back() = Unquoted(current->values.back(), '\'', '\'');
            continue;
        }
        if (StartsWith(line, "(ATTA) Attachment Rendering Data"))
            ++component;
        if (StartsWith(line, "(MAPI) ")) {
            std::size_t typeAt = line.find(" [type: ");
            if (typeAt == std::string::npos)
                continue;
            ListedProperty property;
            property.component = component;
            std::string head = line.substr(7, typeAt - 7);
            property.id = head.size() == 4 ? head : Between(head, "<", ">");
            property.type = Between(line, "<", ">", line.rfind("<", line.find("] [num_values")) - 1);
            std::size_t count = std::strtoul(Between(line, "[num_values = ", "]").c_str(), nullptr, 10);
            if (count > 1 && !report.properties.empty() && report.properties.back().id == property.id &&
                report.properties.back().type == property.type)
                report.properties.pop_back();
            report.properties.push_back(std::move(property));
            current = &report.properties.back();
        } else if (current != nullptr && StartsWith(line, "\t#")) {
            std::size_t at = line.find("] =");
            std::string text = at == std::string::npos || at + 3 >= line.size() ? std::string() : line.substr(at + 4);
            if (!text.empty() && text.front() == '\'' && (text.size() == 1 || text.back() != '\''))
                open = true;
            else
                text = Unquoted(text, '\'', '\'');
            current->values.push_back(text);
        } else if (current != nullptr && StartsWith(line, "\tGUID: ")) {
            current->guid = line.substr(8);
        } else if (current != nullptr && StartsWith(line, "\tname #")) {
            current->name = Unquoted(line.substr(line.find(": ") + 2), '\'', '\'');
        } else if (!StartsWith(line, "\t")) {
            current = nullptr;
        }
    }
}

// ytnef -v -v -v lists "#n: Type: [ T ]  Code: [PR_X | 0xid | UD:xid]", an optional "Name: x",
// and "Size: n    Value: v" (with "[i/n]" before each value of a multi-valued property).
void ParseYtnefListing(const std::string& output, DecoderReport& report)
{
    for (const std::string& line : Lines(output)) {
        if (StartsWith(line, "DEBUG"))
            continue;
        std::size_t first = line.find_first_not_of(' ');
        std::string text = first == std::string::npos ? std::string() : line.substr(first);
        if (StartsWith(text, "#") && text.find(": Type: [") != std::string::npos) {
            std::string code = Between(text, "Code: [", "]");
            for (const char* prefix : {"UD:x", "0x"}) {
                if (StartsWith(code, prefix))
                    code = code.substr(std::string(prefix).size());
            }
            ListedProperty property;
            property.id = Lower(code);
            report.properties.push_back(std::move(property));
        } else if (!report.properties.empty() && text.find("Size: ") != std::string::npos &&
                   text.find("Value: ") != std::string::npos) {
            report.properties.back().values.push_back(Unquoted(text.substr(text.find("Value: ") + 7), '[', ']'));
        } else if (!report.properties.empty() && StartsWith(text, "Name: ")) {
            report.properties.back().name = text.substr(6);
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

bool HaveProgram(const std::string& name) { return !testsupport::FindProgram(name).empty(); }

DecoderReport DecodeWithTnef(const std::vector<std::uint8_t>& stream, const std::filesystem::path& directory)
{
    DecoderReport report;
    const std::filesystem::path input = WriteStream(directory, stream);
    report.exitCode = Run("tnef", {"-t", "--debug", "-f", input.string()}, report.output);
    for (const std::string& line : Lines(report.output)) {
        if (line.find("ERROR") != std::string::npos || line.find("WARNING") != std::string::npos)
            report.errors.push_back(line);
    }
    ParseTnefListing(report.output, report);
    std::filesystem::path files = Fresh(directory, "tnef-files");
    std::string ignored;
    int extracted = Run("tnef", {"--overwrite", "-C", files.string(), "-f", input.string()}, ignored);
    if (extracted != 0)
        report.extractionError = "tnef -C exited with " + std::to_string(extracted) + ": " + ignored;
    ReadFiles(files, report);
    return report;
}

DecoderReport DecodeWithYtnef(const std::vector<std::uint8_t>& stream, const std::filesystem::path& directory)
{
    DecoderReport report;
    const std::filesystem::path input = WriteStream(directory, stream);
    report.exitCode = Run("ytnef", {"-v", "-v", "-v", input.string()}, report.output);
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
    int extracted = Run("ytnef", {"-f", files.string(), input.string()}, ignored);
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
