// The command table. A command that is not built yet says so and fails with E_NOTIMPL.
#include "ex2qln/driver/Commands.h"

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

HRESULT RunMailboxes(const CommandContext&) { return NotBuiltYet("mailboxes"); }
HRESULT RunLdif(const CommandContext&) { return NotBuiltYet("ldif"); }
HRESULT RunDistlists(const CommandContext&) { return NotBuiltYet("distlists"); }
HRESULT RunAccounts(const CommandContext&) { return NotBuiltYet("accounts"); }
HRESULT RunPasswords(const CommandContext&) { return NotBuiltYet("passwords"); }
HRESULT RunCli(const CommandContext&) { return NotBuiltYet("cli"); }
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
