// The process-wide log: trace lines under a 32-bit mask, failure reports and the crash handler.
#pragma once

#include "platform/base/HResult.h"

#include <cstdint>

namespace ex2qln::diag {

// Trace bits, named by value.
inline constexpr std::uint32_t kTraceStreams = 0x2;          // temporary message streams
inline constexpr std::uint32_t kTraceObjects = 0x4;          // object life cycle, dialogs
inline constexpr std::uint32_t kTraceProtocols = 0x20;       // connections and protocols
inline constexpr std::uint32_t kTraceConversion = 0x40;      // the conversion library
inline constexpr std::uint32_t kTraceEchoToStderr = 0x10000000;

// First call: fixes the path and maximum size and installs the crash handler. A name with
// maximum size 0 is the whole path (never truncated); otherwise the name goes under the temporary
// directory, or is taken as given when `local` is set; no name means no file. Later calls only
// replace the mask.
void OpenLog(std::uint32_t mask, const char* fileName, std::uint32_t maximumSize, bool local);

// The current mask; read without the lock so a disabled line costs one load and one test.
std::uint32_t TraceMask();
inline bool TraceOn(std::uint32_t bit) { return (TraceMask() & bit) != 0; }

// Writes one line "date time [PID/tid]  message" ending in exactly one CR LF, whatever the mask
// (callers test their bit); a message that formats to nothing writes nothing. The first line of
// the process is preceded by the OS, App and Dll header lines, and opens the log with the user's
// registry defaults when it was not opened yet. Safe from any thread.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// While the mask is non-zero: "%s(%d) : %s failed %#x: %s\n" with the source file's base name
// (the text after the last "/"), "assertion" or "check", the status and the extra text or "".
void CheckReport(HRESULT status, bool assertion, const char* sourcePath, int line, const char* extra);

// While the mask is non-zero: "%s(%d) : assertion: %s\n" with the source path as given and the
// text or "".
void AssertionText(const char* sourcePath, int line, const char* text);

// Runs through a step's status and reports it when it failed and the mask is non-zero.
inline HRESULT Checked(HRESULT status, bool assertion, const char* sourcePath, int line,
                       const char* extra = nullptr)
{
    if (FAILED(status) && TraceMask() != 0)
        CheckReport(status, assertion, sourcePath, line, extra);
    return status;
}

} // namespace ex2qln::diag

// The step always runs; tracing never changes what the program does.
#define QLN_CHECK(step) ::ex2qln::diag::Checked((step), false, __FILE__, __LINE__)
#define QLN_ASSERT_HR(step) ::ex2qln::diag::Checked((step), true, __FILE__, __LINE__)
