// Forwarding of trace lines to the writer the program installed.
#include "mmconv/encoding/ConversionTrace.h"

#include <cstdarg>
#include <cstdio>
#include <new>
#include <string>

namespace mmconv {
namespace {

TraceWriter gTraceWriter = nullptr;
TraceSwitch gTraceSwitch = nullptr;

} // namespace

void SetConversionTrace(TraceWriter writer, TraceSwitch isOn)
{
    gTraceWriter = writer;
    gTraceSwitch = isOn;
}

void TraceConversion(const char* format, ...)
{
    if (gTraceWriter == nullptr || (gTraceSwitch != nullptr && !gTraceSwitch()))
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
    std::string line;
    try {
        line.resize(static_cast<std::size_t>(length) + 1);
    } catch (const std::bad_alloc&) {
        va_end(arguments);
        return;  // a trace line is not worth failing the conversion for
    }
    std::vsnprintf(line.data(), line.size(), format, arguments);
    va_end(arguments);
    gTraceWriter(std::string_view(line.data(), static_cast<std::size_t>(length)));
}

} // namespace mmconv
