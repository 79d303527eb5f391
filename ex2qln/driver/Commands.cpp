// The command table. A command that is not built yet says so and fails with E_NOTIMPL.
#include "ex2qln/driver/Commands.h"

#include "ex2qln/cli/AccountsCommand.h"
#include "ex2qln/cli/CliCommand.h"
#include "ex2qln/cli/PasswordsCommand.h"
#include "ex2qln/directory/DistListsCommand.h"
#include "ex2qln/directory/LdifCommand.h"
#include "ex2qln/directory/MailboxesCommand.h"

#include <array>
#include <cstdio>

namespace ex2qln::driver {
namespace {

HRESULT NotBuiltYet(const char* name)
{
    std::fprintf(stderr, "The %s command is not available in this version [%#x].\n", name,
                 static_cast<unsigned>(E_NOTIMPL));
    return E_NOTIMPL;
}

std::optional<std::string_view> OptionalPath(const std::optional<std::string>& path)
{
    return path ? std::optional<std::string_view>(*path) : std::nullopt;
}

HRESULT RunMailboxes(const CommandContext& context)
{
    const RunSettings& settings = context.settings;
    return directory::MailboxesCommand(context.session, context.gal, OptionalPath(settings.accountsFile),
                                       OptionalPath(settings.iniFile));
}

HRESULT RunLdif(const CommandContext& context)
{
    const RunSettings& settings = context.settings;
    return directory::LdifCommand(context.session, context.gal, OptionalPath(settings.ldifFile), settings.targetDn,
                                  OptionalPath(settings.iniFile));
}

HRESULT RunDistlists(const CommandContext& context)
{
    return directory::DistListsCommand(context.session, context.gal, OptionalPath(context.settings.scriptFile));
}

HRESULT RunAccounts(const CommandContext& context)
{
    const RunSettings& settings = context.settings;
    return cli::AccountsCommand(context.serverSettings, settings.accountsFile.value_or(""),
                                settings.publicAccount.value_or(""), settings.aliases, settings.reverseAliases);
}

HRESULT RunPasswords(const CommandContext& context)
{
    const RunSettings& settings = context.settings;
    return cli::PasswordsCommand(context.serverSettings, settings.accountsFile.value_or(""),
                                 settings.passwordDumpFile.value_or(""));
}

HRESULT RunCli(const CommandContext& context)
{
    const std::optional<std::string>& script = context.settings.scriptFile;
    return cli::CliCommand(context.serverSettings,
                           script ? std::optional<std::string_view>(*script) : std::nullopt);
}
HRESULT RunTransfer(const CommandContext&) { return NotBuiltYet("transfer"); }

constexpr std::array kCommands{
    Command{kMailboxes, "mailboxes", RunMailboxes}, Command{kLdif, "ldif", RunLdif},
    Command{kDistlists, "distlists", RunDistlists}, Command{kAccounts, "accounts", RunAccounts},
    Command{kPasswords, "passwords", RunPasswords}, Command{kCli, "cli", RunCli},
    Command{kTransfer, "transfer", RunTransfer},
};

} // namespace

std::span<const Command> CommandsInRunOrder() { return kCommands; }

} // namespace ex2qln::driver
