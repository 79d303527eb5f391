// The conversion library's trace lines in the program's log, under trace bit 0x40.
#pragma once

namespace ex2qln::driver {

// Hands the conversion library's trace lines to the log. A line is formatted and written only while
// the log's mask has diag::kTraceConversion set, so changing the mask later turns them on and off.
void RouteConversionTrace();

} // namespace ex2qln::driver
