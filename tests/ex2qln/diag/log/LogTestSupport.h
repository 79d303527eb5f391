// Helpers for the log tests: a fresh child process per case (the log's state is process-wide) and
// reading back the lines the child wrote; private directories and whole files come from tests/support.
#pragma once

#include "tests/support/TemporaryDirectory.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ex2qln::diag::test {

using testsupport::ReadFile;
using testsupport::WriteFile;

// Runs `body` in a forked child whose TMPDIR is `temporaryDirectory` and whose standard error
// goes to `temporaryDirectory`/stderr.txt; the child ends with _exit(0) after the body. Returns
// the child's wait status.
int RunInChild(const std::filesystem::path& temporaryDirectory, const std::function<void()>& body);

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
