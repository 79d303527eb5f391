// CommandSession: the one CLI session of an administration command, opened on first use, and the
// console messages that the commands share.
#pragma once

#include "ex2qln/cli/Cli.h"
#include "platform/base/HResult.h"

#include <mapidefs.h>

#include <string_view>

namespace ex2qln::cli {

class CommandSession {
public:
    // `settings` are the server settings (not owned).
    explicit CommandSession(IMAPIProp* settings) : settings_(settings) {}

    // Connects when the connection is not (or no longer) alive: "Connecting to Quillon." on standard
    // output first, "Can not connect: %s. [%#x]" on standard error when that fails.
    HRESULT EnsureConnected();

    // Sends `command` and reads a reply that must carry a 2xx code.
    HRESULT Execute(std::string_view command);

    // Writes "<action>: <the session's error text>. [<status>]" on standard error.
    void ReportFailure(std::string_view action, HRESULT status) const;

    CCli& Cli() { return cli_; }

private:
    IMAPIProp* settings_;
    CCli cli_;
};

// Writes "Can not open <path> for reading [<status>]." on standard error.
void ReportOpenFailure(std::string_view path, HRESULT status);

// The input files that ReportInvalidLine names.
inline constexpr std::string_view kAccountsFile = "accounts file";
inline constexpr std::string_view kPasswordDumpFile = "password dump file";

// Writes "Invalid input line <line> in the <file> <path>." on standard error, `file` one of the
// names above. Lines count from 1; in the accounts file they are rows, the header being row 1.
void ReportInvalidLine(std::size_t line, std::string_view file, std::string_view path);

// Writes `text` on standard output as it stands (it may hold any byte).
void WriteProgress(std::string_view text);

// The status as the messages show it: "%#x".
std::string StatusText(HRESULT status);

} // namespace ex2qln::cli
