// The accounts command: CreateAccount per row, SetAccountAliases on request, stopping at the first failure.
#include "ex2qln/cli/AccountsCommand.h"

#include "ex2qln/cli/CommandSession.h"
#include "ex2qln/diag/Log.h"
#include "ex2qln/inputs/InputReports.h"
#include "ex2qln/inputs/MappedCsv.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace ex2qln::cli {
namespace {

using inputs::AccountKeys;
using inputs::CMappedCsv;

// Escapes for a setting name, which goes before "=" unquoted in the command's dictionary.
constexpr std::string_view kNameEscapes = "\\\"";
// A setting value grows at most fourfold: a byte in the ANSI code page is at most three bytes of
// UTF-8, a control character four ("\013").
constexpr std::size_t kValueGrowth = 4;
// What each setting adds to the command besides its name and value: "=", two quotes and ";".
constexpr std::size_t kSettingFrame = 4;

bool EqualIgnoringCase(std::string_view left, std::string_view right)
{
    if (left.size() != right.size())
        return false;
    for (std::size_t index = 0; index < left.size(); ++index) {
        if (std::tolower(static_cast<unsigned char>(left[index])) !=
            std::tolower(static_cast<unsigned char>(right[index])))
            return false;
    }
    return true;
}

// No alias when the account is the mailbox's local part already.
bool AliasNeeded(std::string_view account, std::string_view mailbox)
{
    if (mailbox.size() <= account.size() || !EqualIgnoringCase(account, mailbox.substr(0, account.size())))
        return true;
    const char next = mailbox[account.size()];
    return next != '@' && next != '!';
}

// The alias moves into the mailbox's domain and the mailbox keeps its local part only.
void ReverseAlias(AccountKeys& keys)
{
    std::size_t domain = keys.mailbox.find('@');
    if (domain == std::string::npos)
        domain = keys.mailbox.find('!');
    if (domain == std::string::npos)
        return;
    keys.account += keys.mailbox.substr(domain);
    keys.mailbox.resize(domain);
}

class AccountsRun {
public:
    AccountsRun(IMAPIProp* settings, std::string_view path, std::string_view publicFoldersAccount, bool aliases,
                bool reverseAliases)
        : path_(path), publicFoldersAccount_(publicFoldersAccount), aliases_(aliases || reverseAliases),
          reverseAliases_(reverseAliases), session_(settings)
    {
    }

    HRESULT Execute();

private:
    HRESULT ProcessRow(std::size_t& position);
    // Reports the current row as invalid; E_FAIL.
    HRESULT InvalidRow() const;
    HRESULT HeaderRow(std::size_t& position);
    HRESULT DataRow(std::size_t& position, const AccountKeys& keys, bool aliasNeeded);
    HRESULT BuildCreateCommand(std::size_t& position, const std::string& name, std::string& command) const;
    HRESULT Create(std::string_view shownName, const std::string& command, const std::string& aliasCommand);

    std::string path_;
    std::string publicFoldersAccount_;
    bool aliases_;
    bool reverseAliases_;
    CMappedCsv file_;
    CommandSession session_;
    // Rows count from 0, the header; blank lines do not count.
    int row_ = 0;
    // The setting names of the header, escaped.
    std::vector<std::string> settingNames_;
    std::size_t settingNamesSize_ = 0;
};

HRESULT AccountsRun::Execute()
{
    HRESULT status = QLN_CHECK(file_.Open(path_));
    if (FAILED(status)) {
        inputs::ReportOpenFailure(path_, status);
        return status;
    }
    std::size_t position = 0;
    file_.SkipLineEnds(position);
    for (row_ = 0; SUCCEEDED(status) && !file_.AtEnd(position); ++row_) {
        status = ProcessRow(position);
        file_.SkipRow(position);
    }
    return status;
}

HRESULT AccountsRun::InvalidRow() const
{
    inputs::ReportInvalidLine(static_cast<std::size_t>(row_) + 1, inputs::kAccountsFile, path_);
    return E_FAIL;
}

HRESULT AccountsRun::ProcessRow(std::size_t& position)
{
    AccountKeys keys;
    if (FAILED(file_.ReadAccountKeys(position, row_ == 0, keys)))
        return InvalidRow();
    const bool aliasNeeded = AliasNeeded(keys.account, keys.mailbox);
    if (reverseAliases_)
        ReverseAlias(keys);
    return row_ == 0 ? HeaderRow(position) : DataRow(position, keys, aliasNeeded);
}

HRESULT AccountsRun::HeaderRow(std::size_t& position)
{
    while (!file_.AtLineEnd(position)) {
        std::string name;
        if (FAILED(file_.ReadField(position, name, kNameEscapes)))
            return InvalidRow();
        settingNamesSize_ += name.size();
        settingNames_.push_back(std::move(name));
        // Settings whose names alone overflow a command line could never be created.
        if (settingNamesSize_ + kSettingFrame * settingNames_.size() > CCli::kMaximumCommandLength)
            return InvalidRow();
    }
    if (publicFoldersAccount_.empty())
        return S_OK;
    std::string command;
    try {
        command = "CreateAccount " + publicFoldersAccount_ + " {}";
    } catch (const std::bad_alloc&) {
        std::fputs("Can not allocate memory.\n", stderr);
        return E_OUTOFMEMORY;
    }
    return Create(publicFoldersAccount_, command, {});
}

HRESULT AccountsRun::DataRow(std::size_t& position, const AccountKeys& keys, bool aliasNeeded)
{
    const std::string& created = reverseAliases_ ? keys.account : keys.mailbox;
    std::string command;
    HRESULT status = BuildCreateCommand(position, created, command);
    if (FAILED(status))
        return status;
    std::string aliasCommand;
    if (aliases_ && aliasNeeded) {
        aliasCommand = reverseAliases_ ? "SetAccountAliases " + keys.account + " (" + keys.mailbox + ")"
                                       : "SetAccountAliases " + keys.mailbox + " (" + keys.account + ")";
    }
    return Create(keys.mailbox, command, aliasCommand);
}

HRESULT AccountsRun::BuildCreateCommand(std::size_t& position, const std::string& name, std::string& command) const
{
    std::size_t rowEnd = position;
    file_.SkipRow(rowEnd);
    const std::size_t size = std::min(32 + name.size() + kSettingFrame * settingNames_.size() + settingNamesSize_ +
                                          kValueGrowth * (rowEnd - position),
                                      CCli::kMaximumCommandLength);
    try {
        command.reserve(size);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "Can not allocate %d bytes of memory.\n",
                     static_cast<int>(std::min<std::size_t>(size, INT_MAX)));
        return E_OUTOFMEMORY;
    }
    command.append("CreateAccount ").append(name).append(" {");
    std::string value;
    // A row whose command would be longer than a command line can carry is refused before it grows
    // further; its values are each of bounded length.
    for (const std::string& settingName : settingNames_) {
        if (FAILED(file_.ReadSettingValue(position, value)))
            return InvalidRow();
        command.append(settingName).append("=\"").append(value).append("\";");
        if (command.size() >= CCli::kMaximumCommandLength)
            return InvalidRow();
    }
    command.append("}");
    return S_OK;
}

HRESULT AccountsRun::Create(std::string_view shownName, const std::string& command, const std::string& aliasCommand)
{
    HRESULT status = session_.EnsureConnected();
    if (FAILED(status))
        return status;
    WriteProgress("Creating " + std::string(shownName) + "\n");
    status = QLN_CHECK(session_.Execute(command));
    if (SUCCEEDED(status) && !aliasCommand.empty())
        status = QLN_CHECK(session_.Execute(aliasCommand));
    if (FAILED(status))
        session_.ReportFailure("Can not create", status);
    return status;
}

} // namespace

HRESULT AccountsCommand(IMAPIProp* serverSettings, std::string_view accountsPath,
                        std::string_view publicFoldersAccount, bool aliases, bool reverseAliases)
{
    try {
        AccountsRun run(serverSettings, accountsPath, publicFoldersAccount, aliases, reverseAliases);
        return run.Execute();
    } catch (const std::bad_alloc&) {
        std::fputs("Can not allocate memory.\n", stderr);
        return E_OUTOFMEMORY;
    }
}

} // namespace ex2qln::cli
