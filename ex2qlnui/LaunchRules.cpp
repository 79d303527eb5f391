// Commands in effect, enabled controls and the "Process" condition, from the dialog's choices.
#include "ex2qlnui/LaunchRules.h"

namespace ex2qlnui {
namespace {

std::uint32_t CommandsInEffect(const LauncherChoices& choices, bool serverReady)
{
    std::uint32_t commands = 0;
    if (choices.exportAccounts)
        commands |= kMailboxes;
    if (choices.exportLdif)
        commands |= kLdif;
    if (choices.exportDistLists)
        commands |= kDistlists;
    // The server-side boxes count only while the server can be reached: a box checked before
    // the server field was emptied stays checked but has no effect.
    if (!serverReady)
        return commands;
    if (choices.createAccounts)
        commands |= kAccounts;
    if (choices.copyMailboxes)
        commands |= kTransfer;
    if (choices.importPasswords)
        commands |= kPasswords;
    if (choices.createGroups)
        commands |= kCli;
    return commands;
}

EnabledControls ControlsFor(const LauncherChoices& choices, const LauncherState& state)
{
    EnabledControls enabled;
    enabled.exportAccountsFile = choices.exportAccounts;
    enabled.ldifFile = choices.exportLdif;
    enabled.translateAttributesBox = choices.exportAccounts || choices.exportLdif;
    enabled.attributeFile = state.attributeFile;
    enabled.distListsScript = choices.exportDistLists;
    enabled.serverCommandBoxes = state.serverReady;
    enabled.aliasBoxes = (state.commands & kAccounts) != 0;
    enabled.transferOptionBoxes = (state.commands & kTransfer) != 0;
    enabled.journalFile = enabled.transferOptionBoxes && choices.resumeFromJournal;
    enabled.shardIndex = enabled.transferOptionBoxes && choices.shardCount > 1;
    enabled.publicFoldersBox = (state.commands & (kAccounts | kTransfer)) != 0;
    enabled.publicFoldersAccount = state.publicFolders;
    // With the export checked, the server-side commands read the file it writes.
    enabled.importAccountsFile = state.serverReady && !choices.exportAccounts;
    enabled.passwordDumpFile = (state.commands & kPasswords) != 0;
    // With the distribution lists exported, cli executes the script they were written to.
    enabled.groupsScript = (state.commands & kCli) != 0 && !choices.exportDistLists;
    // The log can go beside the accounts file (or into the start directory) for any command.
    enabled.localLog = state.commands != 0;
    return enabled;
}

bool NeededValuesFilledIn(const LauncherChoices& choices, const LauncherState& state)
{
    const std::uint32_t commands = state.commands;
    if ((commands & kMailboxes) && choices.exportAccountsFile.empty())
        return false;
    if ((commands & kLdif) && choices.ldifFile.empty())
        return false;
    if ((commands & kDistlists) && choices.distListsScript.empty())
        return false;
    if (state.attributeFile && choices.attributeFile.empty())
        return false;
    if ((commands & kPasswords) && choices.passwordDumpFile.empty())
        return false;
    if (state.publicFolders && choices.publicFoldersAccount.empty())
        return false;
    // Only the commands that read the accounts file need it; cli alone does not.
    if ((commands & kNeedsAccountsFile) && !choices.exportAccounts && choices.importAccountsFile.empty())
        return false;
    return true;
}

// The dialog's spin boxes keep the numbers in range; choices made elsewhere may not.
bool TransferNumbersInRange(const LauncherChoices& choices, const LauncherState& state)
{
    if (!(state.commands & kTransfer))
        return true;
    const bool jobs = choices.mailboxesAtOnce >= 1 && choices.mailboxesAtOnce <= static_cast<int>(kMostJobs);
    const bool shards = choices.shardCount >= 1 && choices.shardCount <= kMostShards;
    return jobs && shards && choices.shardIndex >= 1 && choices.shardIndex <= choices.shardCount;
}

} // namespace

LauncherState EvaluateChoices(const LauncherChoices& choices)
{
    LauncherState state;
    state.serverReady = !choices.server.empty() && !choices.administratorName.empty();
    state.commands = CommandsInEffect(choices, state.serverReady);
    state.publicFolders = choices.mapPublicFolders && (state.commands & (kAccounts | kTransfer)) != 0;
    state.attributeFile = choices.translateAttributes && (choices.exportAccounts || choices.exportLdif);
    state.enabled = ControlsFor(choices, state);
    state.processEnabled =
        state.commands != 0 && NeededValuesFilledIn(choices, state) && TransferNumbersInRange(choices, state);
    return state;
}

} // namespace ex2qlnui
