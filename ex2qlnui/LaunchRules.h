// The launcher's rules: which commands are in effect, which controls are enabled, and whether the
// choices make a command line worth starting.
#pragma once

#include "ex2qlnui/LauncherChoices.h"

#include <cstdint>

namespace ex2qlnui {

// The command words of ex2qln, by the bits its driver gives them.
enum LaunchCommand : std::uint32_t {
    kMailboxes = 1,
    kAccounts = 2,
    kPasswords = 4,
    kTransfer = 8,
    kLdif = 16,
    kDistlists = 32,
    kCli = 64,
};

inline constexpr std::uint32_t kServerCommands = kAccounts | kPasswords | kTransfer | kCli;
// The server-side commands that read the accounts file.
inline constexpr std::uint32_t kAccountsFileCommands = kAccounts | kPasswords | kTransfer;

// Which controls can be used; the controls not named here are always enabled.
struct EnabledControls {
    bool exportAccountsFile = false;   // its field and "..."
    bool ldifFile = false;             // the LDIF field, "..." and the target subtree
    bool translateAttributesBox = false;
    bool attributeFile = false;        // its field and "..."
    bool distListsScript = false;      // its field and "..."
    bool serverCommandBoxes = false;   // accounts, transfer, passwords, cli
    bool aliasBoxes = false;           // "Create Aliases", "Reverse Aliases"
    bool transferOptionBoxes = false;  // "Fix folder names", "Ignore errors", "Skip imap objects"
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
    bool processEnabled = false;    // a command is in effect and every value it needs is filled in
};

LauncherState EvaluateChoices(const LauncherChoices& choices);

} // namespace ex2qlnui
