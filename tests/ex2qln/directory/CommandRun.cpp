// Capturing an export's streams, and the progress lines it should write.
#include "tests/ex2qln/directory/CommandRun.h"

#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace directorytest {

CommandOutput Captured(const std::function<HRESULT()>& command)
{
    CommandOutput output;
    std::fflush(stdout);
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    output.status = command();
    std::fflush(stdout);
    std::fflush(stderr);
    output.standardError = ::testing::internal::GetCapturedStderr();
    output.standardOutput = ::testing::internal::GetCapturedStdout();
    return output;
}

std::optional<std::string> FileText(const std::string& path)
{
    if (!std::filesystem::exists(path))
        return std::nullopt;
    return testsupport::ReadFile(path);
}

std::string Progress(const std::string& label, unsigned rows)
{
    std::string lines;
    for (unsigned row = 0; row < rows; row += 10)
        lines += label + ": " + std::to_string(row) + " GAL records processed...\r";
    return lines;
}

} // namespace directorytest
