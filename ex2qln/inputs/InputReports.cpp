// The input file messages.
#include "ex2qln/inputs/InputReports.h"

#include <cstdio>
#include <string>

namespace ex2qln::inputs {

void ReportOpenFailure(std::string_view path, HRESULT status)
{
    std::fprintf(stderr, "Can not open %.*s for reading [%#x].\n", static_cast<int>(path.size()), path.data(),
                 static_cast<unsigned>(status));
    std::fflush(stderr);
}

void ReportInvalidRow(int row, std::string_view path)
{
    std::fprintf(stderr, "Invalid input line %d in the accounts file %.*s.\n", row, static_cast<int>(path.size()),
                 path.data());
    std::fflush(stderr);
}

} // namespace ex2qln::inputs
