// Runs one export in the test process and keeps what it said and wrote.
#pragma once

#include "platform/base/HResult.h"


#include <functional>
#include <optional>
#include <string>

namespace directorytest {

struct CommandOutput {
    HRESULT status = S_OK;
    std::string standardOutput;
    std::string standardError;
};

// Calls `command` with both standard streams captured.
CommandOutput Captured(const std::function<HRESULT()>& command);

// The file's contents, or nullopt when it does not exist.
std::optional<std::string> FileText(const std::string& path);

// "CSV: 0 GAL records processed...\r" and so on: the progress lines of `rows` rows.
std::string Progress(const std::string& label, unsigned rows);

} // namespace directorytest
