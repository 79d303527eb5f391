// The conversion library's trace hook: the program routes these lines into its log under trace bit 0x40.
#pragma once

#include <string_view>

namespace mmconv {

using TraceWriter = void (*)(std::string_view line);
// Whether trace lines are wanted now; asked before a line is formatted.
using TraceSwitch = bool (*)();

// Installs the writer (null turns tracing off) and the switch (null: always on). Set once at start,
// before any conversion.
void SetConversionTrace(TraceWriter writer, TraceSwitch isOn = nullptr);

// Formats one trace line printf-style and hands it to the writer, if any and while its switch is on.
void TraceConversion(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace mmconv
