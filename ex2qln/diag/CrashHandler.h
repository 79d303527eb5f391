// Between the log and its fatal-signal handler: installing the handler and what the handler asks of
// the log. Internal to ex2qln_log.
#pragma once

#include <cstddef>

namespace ex2qln::diag {

// Installs the handler for SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT, remembering the previous
// actions, and an alternate signal stack for the calling thread. Called once, by the first open.
void InstallCrashHandler();

// The program's path from /proc/self/exe; false (and "") when it cannot be read.
bool ProgramPath(char* buffer, std::size_t size);

// Writes every byte with write(2), again after an interruption; gives up silently on an error.
// Both sides use it because it is safe in the handler.
void WriteAll(int file, const char* data, std::size_t length);

// The log's side, callable from the handler: writes one line (header lines first when none were
// written yet) without waiting forever for the line lock, and closes the log file.
void TraceFromSignal(const char* message);
void CloseLogFileFromSignal();

} // namespace ex2qln::diag
