// The seven commands in their fixed run order, each called with the arguments it takes.
#pragma once

#include "ex2qln/driver/CommandLine.h"
#include "platform/base/HResult.h"

#include <mapidefs.h>
#include <mapix.h>
#include <edkmdb.h>

#include <span>

namespace ex2qln::driver {

// What the driver holds for the commands; absent objects are null.
struct CommandContext {
    const RunSettings& settings;
    IMAPISession* session;
    IAddrBook* addressBook;
    IABContainer* gal;
    IExchangeManageStore* manageStore;
    IPropData* serverSettings;
};

struct Command {
    std::uint32_t bit;
    const char* name;
    HRESULT (*run)(const CommandContext& context);
};

// mailboxes, ldif, distlists, accounts, passwords, cli, transfer.
std::span<const Command> CommandsInRunOrder();

} // namespace ex2qln::driver
