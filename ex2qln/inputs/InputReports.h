// The messages about the administrator's input files that the commands reading them share.
#pragma once

#include "platform/base/HResult.h"

#include <cstddef>
#include <string_view>

namespace ex2qln::inputs {

// Writes "Can not open <path> for reading [<status>].\n" on standard error.
void ReportOpenFailure(std::string_view path, HRESULT status);

// The input files that ReportInvalidLine names.
inline constexpr std::string_view kAccountsFile = "accounts file";
inline constexpr std::string_view kPasswordDumpFile = "password dump file";

// Writes "Invalid input line <line> in the <file> <path>.\n" on standard error, `file` one of the
// names above. Lines count from 1; in the accounts file they are rows, the header being row 1.
void ReportInvalidLine(std::size_t line, std::string_view file, std::string_view path);

} // namespace ex2qln::inputs
