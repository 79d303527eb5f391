// The log as the conversion library's trace writer.
#include "ex2qln/driver/ConversionLog.h"

#include "ex2qln/diag/Log.h"
#include "mmconv/encoding/ConversionTrace.h"

namespace ex2qln::driver {
namespace {

bool ConversionTraceOn() { return diag::TraceOn(diag::kTraceConversion); }

void WriteConversionLine(std::string_view line)
{
    diag::Trace("%.*s", static_cast<int>(line.size()), line.data());
}

} // namespace

void RouteConversionTrace()
{
    mmconv::SetConversionTrace(WriteConversionLine, ConversionTraceOn);
}

} // namespace ex2qln::driver
