// The passwords command: UpdateAccount with the NT hash of every account that the dump holds.
#include "ex2qln/cli/PasswordsCommand.h"

#include "ex2qln/cli/CommandSession.h"
#include "ex2qln/diag/Log.h"
#include "ex2qln/inputs/InputReports.h"
#include "ex2qln/inputs/MappedCsv.h"
#include "ex2qln/inputs/MappedPwd.h"

#include <mapicode.h>

#include <cstdio>
#include <new>
#include <string>

namespace ex2qln::cli {
namespace {

using inputs::AccountKeys;
using inputs::CMappedCsv;
using inputs::CMappedPwd;

class PasswordsRun {
public:
    PasswordsRun(IMAPIProp* settings, std::string_view accountsPath, std::string_view dumpPath)
        : accountsPath_(accountsPath), dumpPath_(dumpPath), session_(settings)
    {
    }

    HRESULT Execute();

private:
    HRESULT OpenFiles();
    HRESULT ProcessRow(std::size_t& position, int row);
    HRESULT SetPassword(const std::string& mailbox, const std::string& hash);

    std::string accountsPath_;
    std::string dumpPath_;
    CMappedCsv accounts_;
    CMappedPwd dump_;
    CommandSession session_;
};

HRESULT PasswordsRun::OpenFiles()
{
    HRESULT status = QLN_CHECK(accounts_.Open(accountsPath_));
    if (FAILED(status)) {
        inputs::ReportOpenFailure(accountsPath_, status);
        return status;
    }
    status = QLN_CHECK(dump_.Open(dumpPath_));
    if (FAILED(status))
        inputs::ReportOpenFailure(dumpPath_, status);
    return status;
}

HRESULT PasswordsRun::Execute()
{
    HRESULT status = OpenFiles();
    if (FAILED(status))
        return status;
    std::size_t position = 0;
    accounts_.SkipLineEnds(position);
    for (int row = 0; SUCCEEDED(status) && !accounts_.AtEnd(position); ++row) {
        status = ProcessRow(position, row);
        accounts_.SkipRow(position);
    }
    return status;
}

HRESULT PasswordsRun::ProcessRow(std::size_t& position, int row)
{
    AccountKeys keys;
    if (FAILED(accounts_.ReadAccountKeys(position, row == 0, keys))) {
        inputs::ReportInvalidLine(static_cast<std::size_t>(row) + 1, inputs::kAccountsFile, accountsPath_);
        return E_FAIL;
    }
    if (row == 0)
        return S_OK;
    std::string hash;
    std::size_t dumpLine = 0;
    const HRESULT found = dump_.FindNtHash(keys.account, hash, dumpLine);
    if (found == MAPI_E_TOO_BIG) {
        inputs::ReportInvalidLine(dumpLine, inputs::kPasswordDumpFile, dumpPath_);
        return E_FAIL;
    }
    if (FAILED(found) || hash.empty())
        return S_OK;
    return SetPassword(keys.mailbox, hash);
}

HRESULT PasswordsRun::SetPassword(const std::string& mailbox, const std::string& hash)
{
    HRESULT status = session_.EnsureConnected();
    if (FAILED(status))
        return status;
    WriteProgress("Setting password for " + mailbox + "\n");
    // "\002" is the CLI string escape of the character with code 2, which marks the hash form.
    status = QLN_CHECK(session_.Execute("UpdateAccount " + mailbox + " {Password=\"\\002{MSNT}" + hash + "\";}"));
    if (FAILED(status))
        session_.ReportFailure("Can not set password", status);
    return status;
}

} // namespace

HRESULT PasswordsCommand(IMAPIProp* serverSettings, std::string_view accountsPath, std::string_view passwordDumpPath)
{
    try {
        PasswordsRun run(serverSettings, accountsPath, passwordDumpPath);
        return run.Execute();
    } catch (const std::bad_alloc&) {
        std::fputs("Can not allocate memory.\n", stderr);
        return E_OUTOFMEMORY;
    }
}

} // namespace ex2qln::cli
