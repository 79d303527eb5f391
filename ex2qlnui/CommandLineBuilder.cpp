// Building the ex2qln command line from the launcher's choices.
#include "ex2qlnui/CommandLineBuilder.h"

#include "ex2qln/journal/TransferJournal.h"
#include "ex2qlnui/LaunchRules.h"

#include <array>

namespace ex2qlnui {
namespace {

struct CommandName {
    std::uint32_t bit;
    const char* word;
};

// The order in which the command line names the commands.
constexpr std::array kCommandOrder{
    CommandName{kMailboxes, "mailboxes"}, CommandName{kLdif, "ldif"},           CommandName{kDistlists, "distlists"},
    CommandName{kAccounts, "accounts"},   CommandName{kTransfer, "transfer"},   CommandName{kPasswords, "passwords"},
    CommandName{kCli, "cli"},
};

class WordList {
public:
    void Flag(const char* name, bool when)
    {
        if (when)
            words_.push_back({name, std::nullopt});
    }
    // An empty field leaves its option out: ex2qln then uses its own default.
    void Valued(const char* name, const std::string& value, bool secret = false)
    {
        if (!value.empty())
            words_.push_back({name, value, secret});
    }
    // A number the dialog chose, not typed text: written without quotes.
    void Number(const char* name, const std::string& value, bool when)
    {
        if (when)
            words_.push_back({std::string(name) + "=" + value, std::nullopt});
    }
    std::vector<CommandWord> Take() { return std::move(words_); }

private:
    std::vector<CommandWord> words_;
};

// The journal, the share of the mailbox lines and how many run at once; ex2qln's defaults (its own
// journal, every line, one at a time) are left out.
void AddTransferNumbers(WordList& words, const LauncherChoices& choices)
{
    words.Flag("--no-journal", !choices.resumeFromJournal);
    if (choices.resumeFromJournal)
        words.Valued("--journal", choices.journalFile);
    words.Number("--shard", std::to_string(choices.shardIndex) + "/" + std::to_string(choices.shardCount),
                 choices.shardCount > 1);
    words.Number("--jobs", std::to_string(choices.mailboxesAtOnce), choices.mailboxesAtOnce > 1);
}

// The export writes the accounts file that the server-side commands then read.
std::string AccountsFile(const LauncherChoices& choices, std::uint32_t commands)
{
    if (choices.exportAccounts)
        return choices.exportAccountsFile;
    if (commands & kNeedsAccountsFile)
        return choices.importAccountsFile;
    return {};
}

// The distribution lists are written to the script that cli then executes.
std::string ScriptFile(const LauncherChoices& choices, std::uint32_t commands)
{
    if (choices.exportDistLists)
        return choices.distListsScript;
    if (commands & kCli)
        return choices.groupsScript;
    return {};
}

} // namespace

std::vector<CommandWord> BuildCommandWords(const LauncherChoices& choices)
{
    const LauncherState state = EvaluateChoices(choices);
    const std::uint32_t commands = state.commands;
    WordList words;
    for (const CommandName& command : kCommandOrder)
        words.Flag(command.word, (commands & command.bit) != 0);

    words.Valued("--profile", choices.profile);
    words.Valued("--accounts", AccountsFile(choices, commands));
    if (commands & kLdif) {
        words.Valued("--ldif", choices.ldifFile);
        words.Valued("--target-dn", choices.targetSubtree);
    }
    if (state.attributeFile)
        words.Valued("--ini", choices.attributeFile);
    if (commands & kPasswords)
        words.Valued("--passwds", choices.passwordDumpFile);
    words.Valued("--script", ScriptFile(choices, commands));
    const bool transfer = (commands & kTransfer) != 0;
    words.Flag("--fix-folders", transfer && choices.fixFolderNames);
    words.Flag("--ignore-errors", transfer && choices.ignoreErrors);
    if (state.publicFolders)
        words.Valued("--public", choices.publicFoldersAccount);
    const bool accounts = (commands & kAccounts) != 0;
    words.Flag("--aliases", accounts && choices.createAliases);
    words.Flag("--reverse-aliases", accounts && choices.reverseAliases);
    words.Flag("--skip-imap", transfer && choices.skipImap);
    if (transfer)
        AddTransferNumbers(words, choices);
    words.Flag("--local-log", state.enabled.localLog && choices.localLog);
    if (commands & kNeedsServer) {
        words.Valued("--server", choices.server);
        words.Flag("--ssl", choices.secureConnection);
        words.Valued("--account", choices.administratorName);
        words.Valued("--pwd", choices.administratorPassword, true);
    }
    return words.Take();
}

std::string DefaultJournalFile(const LauncherChoices& choices)
{
    const std::string accounts = AccountsFile(choices, EvaluateChoices(choices).commands);
    return accounts.empty() ? std::string() : ex2qln::journal::DefaultJournalPath(accounts);
}

std::string DisplayCommandLine(const std::vector<CommandWord>& words)
{
    std::string line = "ex2qln";
    for (const CommandWord& word : words) {
        line += ' ';
        line += word.name;
        if (!word.value)
            continue;
        line += "=\"";
        line += word.secret ? std::string(kPasswordMask) : *word.value;
        line += '"';
    }
    return line;
}

std::vector<std::string> UtilityArguments(const std::vector<CommandWord>& words, const std::string& passwordFile)
{
    std::vector<std::string> arguments;
    for (const CommandWord& word : words) {
        if (word.secret)
            arguments.push_back("--pwd-file=" + passwordFile);
        else if (word.value)
            arguments.push_back(word.name + "=" + *word.value);
        else
            arguments.push_back(word.name);
    }
    arguments.push_back("--wait");
    return arguments;
}

} // namespace ex2qlnui
