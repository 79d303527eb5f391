// Helpers for the log tests: a private directory per test, a fresh child process per case (the log's
// state is process-wide) and reading back the lines the child wrote.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ex2qln::diag::test {

// A new directory under the system's temporary directory, removed with everything in it.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Runs `body` in a forked child whose TMPDIR is `temporaryDirectory` and whose standard error
// goes to `temporaryDirectory`/stderr.txt; the child ends with _exit(0) after the body. Returns
// the child's wait status.
int RunInChild(const std::filesystem::path& temporaryDirectory, const std::function<void()>& body);

// The file from `offset` on; "" when it cannot be read.
std::string ReadFile(const std::filesystem::path& path, std::uint64_t offset = 0);
void WriteFile(const std::filesystem::path& path, std::string_view content);
// Creates or resizes a file to `size` bytes without writing them (a sparse file).
void ResizeFile(const std::filesystem::path& path, std::uint64_t size);

// The program's own path, which the header and crash lines name.
std::string ProgramPath();

// One log line split into its parts; `whole` is false when the text does not have the form
// "date time [PID/tid]  message" or does not end in CR LF.
struct LogLine {
    bool whole = false;
    std::string stamp;    // "date time" as written
    std::string process;  // upper-case hexadecimal
    std::string thread;   // lower-case hexadecimal
    std::string message;  // without the CR LF
};

// Splits text at each CR LF into lines (the last one must end in CR LF too) and parses them. The
// prefix form is that of the C locale, which the children keep.
std::vector<LogLine> ParseLog(std::string_view text);

// The process and thread identifiers as the log writes them.
std::string UpperHex(unsigned value);
std::string LowerHex(unsigned value);

} // namespace ex2qln::diag::test
