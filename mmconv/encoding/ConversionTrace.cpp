// Forwarding of trace lines to the writer the program installed.
#include "mmconv/encoding/ConversionTrace.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace mmconv {
namespace {

TraceWriter gTraceWriter = nullptr;

} // namespace

void SetConversionTrace(TraceWriter writer)
{
    gTraceWriter = writer;
}

void TraceConversion(const char* format, ...)
{
    if (gTraceWriter == nullptr)
        return;
    va_list arguments;
    va_start(arguments, format);
    va_list measure;
    va_copy(measure, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0) {
        va_end(arguments);
        return;
    }
    std::vector<char> line(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(line.data(), line.size(), format, arguments);
    va_end(arguments);
    gTraceWriter(std::string_view(line.data(), static_cast<std::size_t>(length)));
}

} // namespace mmconv
