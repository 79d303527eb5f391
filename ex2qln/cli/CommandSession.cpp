// The lazily opened session of an administration command and its console messages.
#include "ex2qln/cli/CommandSession.h"

#include <cstdio>
#include <string>

namespace ex2qln::cli {
namespace {

void WriteTo(std::FILE* stream, std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

} // namespace

std::string StatusText(HRESULT status)
{
    char text[16];
    std::snprintf(text, sizeof text, "%#x", static_cast<unsigned>(status));
    return text;
}

void WriteProgress(std::string_view text) { WriteTo(stdout, text); }

void ReportOpenFailure(std::string_view path, HRESULT status)
{
    WriteTo(stderr, "Can not open " + std::string(path) + " for reading [" + StatusText(status) + "].\n");
}

void ReportInvalidLine(std::size_t line, std::string_view file, std::string_view path)
{
    WriteTo(stderr, "Invalid input line " + std::to_string(line) + " in the " + std::string(file) + " " +
                        std::string(path) + ".\n");
}

HRESULT CommandSession::EnsureConnected()
{
    if (cli_.IsAlive())
        return S_OK;
    WriteProgress("Connecting to Quillon.\n");
    const HRESULT status = cli_.Connect(settings_);
    if (FAILED(status))
        ReportFailure("Can not connect", status);
    return status;
}

HRESULT CommandSession::Execute(std::string_view command)
{
    const HRESULT status = cli_.SendCommand(command);
    return FAILED(status) ? status : cli_.Reply();
}

void CommandSession::ReportFailure(std::string_view action, HRESULT status) const
{
    WriteTo(stderr, std::string(action) + ": " + std::string(cli_.ErrorText()) + ". [" + StatusText(status) + "]\n");
}

} // namespace ex2qln::cli
