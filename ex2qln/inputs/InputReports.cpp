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

void ReportInvalidLine(std::size_t line, std::string_view file, std::string_view path)
{
    std::fprintf(stderr, "Invalid input line %zu in the %.*s %.*s.\n", line, static_cast<int>(file.size()), file.data(),
                 static_cast<int>(path.size()), path.data());
    std::fflush(stderr);
}

} // namespace ex2qln::inputs
