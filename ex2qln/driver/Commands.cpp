// The command table: each command called with the arguments it takes.
#include "ex2qln/driver/Commands.h"

#include "ex2qln/cli/AccountsCommand.h"
#include "ex2qln/cli/CliCommand.h"
#include "ex2qln/cli/PasswordsCommand.h"
#include "ex2qln/directory/DistListsCommand.h"
#include "ex2qln/directory/LdifCommand.h"
#include "ex2qln/directory/MailboxesCommand.h"
#include "ex2qln/journal/TransferJournal.h"
#include "ex2qln/transfer/TransferCommand.h"

#include <array>
#include <cstdio>

namespace ex2qln::driver {
namespace {

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

HRESULT RunTransfer(const CommandContext& context)
{
    const RunSettings& settings = context.settings;
    const std::string accountsPath = settings.accountsFile.value_or("");
    const std::string journalPath =
        settings.noJournal ? std::string() : settings.journalFile.value_or(journal::DefaultJournalPath(accountsPath));
    const Shard shard = settings.shard ? ParseShard(*settings.shard).value_or(Shard{1, 1}) : Shard{1, 1};
    transfer::TransferArguments arguments{
        .session = context.session,
        .addressBook = context.addressBook,
        .gal = context.gal,
        .manageStore = context.manageStore,
        .settings = context.serverSettings,
        .accountsPath = settings.accountsFile ? std::string_view(*settings.accountsFile) : std::string_view(),
        .publicFoldersAccount = settings.publicAccount ? std::string_view(*settings.publicAccount) : std::string_view(),
        .fixFolders = settings.fixFolders,
        .ignoreErrors = settings.ignoreErrors,
        .ascii = settings.ascii,
        .options = {settings.saveStatus, settings.skipImap, settings.fixGroups, settings.noAdmin},
        .journalPath = journalPath,
        .shardIndex = shard.index,
        .shardCount = shard.count,
        .jobs = settings.jobs ? ParseJobs(*settings.jobs).value_or(1) : 1,
    };
    return transfer::TransferCommand(arguments);
}

constexpr std::array kCommands{
    Command{kMailboxes, "mailboxes", RunMailboxes}, Command{kLdif, "ldif", RunLdif},
    Command{kDistlists, "distlists", RunDistlists}, Command{kAccounts, "accounts", RunAccounts},
    Command{kPasswords, "passwords", RunPasswords}, Command{kCli, "cli", RunCli},
    Command{kTransfer, "transfer", RunTransfer},
};

} // namespace

std::span<const Command> CommandsInRunOrder() { return kCommands; }

} // namespace ex2qln::driver
