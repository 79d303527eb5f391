// The messages about the administrator's input files that the commands reading them share.
#pragma once

#include "platform/base/HResult.h"

#include <string_view>

namespace ex2qln::inputs {

// Writes "Can not open <path> for reading [<status>].\n" on standard error.
void ReportOpenFailure(std::string_view path, HRESULT status);

// Writes "Invalid input line <row> in the accounts file <path>.\n" on standard error; rows count
// from 1, the header being row 1.
void ReportInvalidRow(int row, std::string_view path);

} // namespace ex2qln::inputs
