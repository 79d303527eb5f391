// The launcher's rules: which commands are in effect, which controls are enabled, and whether the
// choices make a command line worth starting.
#pragma once

#include "ex2qln/driver/CommandLine.h"
#include "ex2qlnui/LauncherChoices.h"

#include <cstdint>

namespace ex2qlnui {

// The command bits and masks of ex2qln's driver: kNeedsServer holds the server-side commands,
// kNeedsAccountsFile those that read the accounts file.
using ex2qln::driver::kAccounts;
using ex2qln::driver::kCli;
using ex2qln::driver::kDistlists;
using ex2qln::driver::kLdif;
using ex2qln::driver::kMailboxes;
using ex2qln::driver::kPasswords;
using ex2qln::driver::kTransfer;
using ex2qln::driver::kNeedsAccountsFile;
using ex2qln::driver::kNeedsServer;

// The ranges of the transfer's numbers: ex2qln takes up to kMostJobs mailboxes at once, and the
// shards of an organisation are machines, a few at most.
using ex2qln::driver::kMostJobs;
inline constexpr int kMostShards = 999;

// Which controls can be used; the controls not named here are always enabled.
struct EnabledControls {
    bool exportAccountsFile = false;   // its field and "..."
    bool ldifFile = false;             // the LDIF field, "..." and the target subtree
    bool translateAttributesBox = false;
    bool attributeFile = false;        // its field and "..."
    bool distListsScript = false;      // its field and "..."
    bool serverCommandBoxes = false;   // accounts, transfer, passwords, cli
    bool aliasBoxes = false;           // "Create Aliases", "Reverse Aliases"
    // "Fix folder names", "Ignore errors", "Skip imap objects", "Resume from the journal",
    // "Mailboxes at once" and the number of shards
    bool transferOptionBoxes = false;
    bool journalFile = false;          // its field and "...", while resuming
    bool shardIndex = false;           // only with more than one shard
    bool publicFoldersBox = false;
    bool publicFoldersAccount = false;
    bool importAccountsFile = false;   // its field and "..."
    bool passwordDumpFile = false;     // its field and "..."
    bool groupsScript = false;         // the cli script field and "..."
    bool localLog = false;

    bool operator==(const EnabledControls&) const = default;
};

struct LauncherState {
    bool serverReady = false;       // "Server:" and "Administrator Name:" both filled in
    std::uint32_t commands = 0;     // the commands in effect
    bool publicFolders = false;     // the public-folders account is in effect
    bool attributeFile = false;     // the attribute file is in effect
    EnabledControls enabled;
    // A command is in effect, every value it needs is filled in and every number is in its range.
    bool processEnabled = false;
};

LauncherState EvaluateChoices(const LauncherChoices& choices);

} // namespace ex2qlnui
