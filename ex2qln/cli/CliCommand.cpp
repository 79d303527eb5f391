// The cli command: each non-empty script line sent as it stands, with a progress line cut to 60 bytes.
#include "ex2qln/cli/CliCommand.h"

#include "ex2qln/cli/CommandSession.h"
#include "ex2qln/diag/Log.h"
#include "ex2qln/inputs/InputReports.h"
#include "ex2qln/inputs/MappedFile.h"

#include <cstdio>
#include <new>
#include <string>

namespace ex2qln::cli {
namespace {

// How much of a line the progress line shows.
constexpr std::size_t kShownLength = 60;
// What a missing path prints as.
constexpr std::string_view kNoPath = "(null)";

HRESULT ExecuteLine(CommandSession& session, std::string_view line)
{
    HRESULT status = session.EnsureConnected();
    if (FAILED(status))
        return status;
    WriteProgress("Executing \"" + std::string(line.substr(0, kShownLength)) + "...\"\n");
    status = QLN_CHECK(session.Cli().SendRaw(line));
    if (SUCCEEDED(status))
        status = QLN_CHECK(session.Cli().SendRaw("\r\n"));
    if (SUCCEEDED(status))
        status = QLN_CHECK(session.Cli().Reply());
    if (FAILED(status))
        session.ReportFailure("Can not execute", status);
    return status;
}

HRESULT ExecuteScript(IMAPIProp* serverSettings, std::optional<std::string_view> scriptPath)
{
    inputs::CMappedText script;
    const std::string path(scriptPath.value_or(""));
    HRESULT status = QLN_CHECK(script.Open(path));
    if (FAILED(status)) {
        inputs::ReportOpenFailure(scriptPath.value_or(kNoPath), status);
        return status;
    }
    CommandSession session(serverSettings);
    std::size_t position = 0;
    while (SUCCEEDED(status)) {
        const std::optional<std::string_view> line = script.NextLine(position);
        if (!line)
            break;
        status = ExecuteLine(session, *line);
    }
    return status;
}

} // namespace

HRESULT CliCommand(IMAPIProp* serverSettings, std::optional<std::string_view> scriptPath)
{
    try {
        return ExecuteScript(serverSettings, scriptPath);
    } catch (const std::bad_alloc&) {
        std::fputs("Can not allocate memory.\n", stderr);
        return E_OUTOFMEMORY;
    }
}

} // namespace ex2qln::cli
