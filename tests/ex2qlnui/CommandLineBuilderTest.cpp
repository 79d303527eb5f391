// The launcher's rules and command line, without the dialog.
#include "ex2qlnui/CommandLineBuilder.h"
#include "ex2qlnui/LaunchRules.h"
#include "tests/ex2qlnui/CommandLineCases.h"

#include <gtest/gtest.h>

namespace ex2qlnui {
namespace {

using testing::ChoicesOf;
using testing::CommandLineCase;
using testing::CommandLineCases;

TEST(CommandLineBuilder, CommandLineAndProcessFollowTheChoices)
{
    for (const CommandLineCase& example : CommandLineCases()) {
        SCOPED_TRACE(example.name);
        const LauncherChoices choices = ChoicesOf(example);
        EXPECT_EQ(DisplayCommandLine(BuildCommandWords(choices)), example.commandLine);
        EXPECT_EQ(EvaluateChoices(choices).processEnabled, example.processEnabled);
    }
}

TEST(CommandLineBuilder, CommandsInEffect)
{
    LauncherChoices everything;
    everything.exportAccounts = everything.exportLdif = everything.exportDistLists = true;
    everything.createAccounts = everything.copyMailboxes = everything.importPasswords = everything.createGroups = true;
    EXPECT_EQ(EvaluateChoices(everything).commands, kMailboxes | kLdif | kDistlists);
    everything.server = "mail";
    EXPECT_EQ(EvaluateChoices(everything).commands, 0x7Fu);
}

LauncherChoices ServerSideChecked(bool serverReady, bool exportAccounts, bool exportDistLists)
{
    LauncherChoices choices;
    choices.server = serverReady ? "mail" : "";
    choices.exportAccounts = exportAccounts;
    choices.exportLdif = true;
    choices.translateAttributes = true;
    choices.exportDistLists = exportDistLists;
    choices.createAccounts = choices.copyMailboxes = choices.importPasswords = choices.createGroups = true;
    choices.mapPublicFolders = true;
    return choices;
}

TEST(CommandLineBuilder, EnabledControls)
{
    struct Case {
        const char* name;
        LauncherChoices choices;
        EnabledControls enabled;
    };
    LauncherChoices serverOnly;
    serverOnly.server = "mail";
    LauncherChoices translateAlone;
    translateAlone.translateAttributes = true;
    LauncherChoices transferWithoutJournal;
    transferWithoutJournal.server = "mail";
    transferWithoutJournal.copyMailboxes = true;
    transferWithoutJournal.resumeFromJournal = false;
    LauncherChoices transferInShards = transferWithoutJournal;
    transferInShards.resumeFromJournal = true;
    transferInShards.shardCount = 3;
    LauncherChoices shardsWithoutTransfer = transferInShards;
    shardsWithoutTransfer.copyMailboxes = false;
    const Case cases[] = {
        {"the defaults", LauncherChoices{}, EnabledControls{}},
        {"a server: its commands and the import file", serverOnly,
         {.serverCommandBoxes = true, .importAccountsFile = true}},
        {"the attribute file needs mailboxes or ldif", translateAlone, EnabledControls{}},
        {"everything but the exports of accounts and lists", ServerSideChecked(true, false, false),
         {.ldifFile = true,
          .translateAttributesBox = true,
          .attributeFile = true,
          .serverCommandBoxes = true,
          .aliasBoxes = true,
          .transferOptionBoxes = true,
          .journalFile = true,
          .publicFoldersBox = true,
          .publicFoldersAccount = true,
          .importAccountsFile = true,
          .passwordDumpFile = true,
          .groupsScript = true,
          .localLog = true}},
        {"exported accounts and lists are what the server side reads", ServerSideChecked(true, true, true),
         {.exportAccountsFile = true,
          .ldifFile = true,
          .translateAttributesBox = true,
          .attributeFile = true,
          .distListsScript = true,
          .serverCommandBoxes = true,
          .aliasBoxes = true,
          .transferOptionBoxes = true,
          .journalFile = true,
          .publicFoldersBox = true,
          .publicFoldersAccount = true,
          .passwordDumpFile = true,
          .localLog = true}},
        {"transfer without resuming: no journal file", transferWithoutJournal,
         {.serverCommandBoxes = true,
          .transferOptionBoxes = true,
          .publicFoldersBox = true,
          .importAccountsFile = true,
          .localLog = true}},
        {"transfer in shards: the share can be chosen", transferInShards,
         {.serverCommandBoxes = true,
          .transferOptionBoxes = true,
          .journalFile = true,
          .shardIndex = true,
          .publicFoldersBox = true,
          .importAccountsFile = true,
          .localLog = true}},
        {"shards without transfer change nothing", shardsWithoutTransfer,
         {.serverCommandBoxes = true, .importAccountsFile = true}},
        {"without the server the checked server-side boxes change nothing", ServerSideChecked(false, false, false),
         {.ldifFile = true, .translateAttributesBox = true, .attributeFile = true, .localLog = true}},
    };
    for (const Case& example : cases) {
        SCOPED_TRACE(example.name);
        EXPECT_EQ(EvaluateChoices(example.choices).enabled, example.enabled);
    }
}

// The dialog's spin boxes cannot hold these numbers; choices from elsewhere are still refused.
TEST(CommandLineBuilder, TransferNumbersOutOfRangeAreRefused)
{
    struct Case {
        const char* name;
        int mailboxesAtOnce;
        int shardIndex;
        int shardCount;
        bool copyMailboxes;
        bool processEnabled;
    };
    const Case cases[] = {
        {"in range at their largest", 64, 999, 999, true, true},
        {"no mailbox at once", 0, 1, 1, true, false},
        {"more mailboxes at once than ex2qln runs", 65, 1, 1, true, false},
        {"shards count from 1", 1, 0, 3, true, false},
        {"the share past the number of shards", 1, 4, 3, true, false},
        {"no shards", 1, 1, 0, true, false},
        {"too many shards", 1, 1000, 1000, true, false},
        {"without transfer the numbers do not count", 0, 4, 3, false, true},
    };
    for (const Case& example : cases) {
        SCOPED_TRACE(example.name);
        LauncherChoices choices;
        choices.server = "mail";
        choices.createAccounts = true;
        choices.copyMailboxes = example.copyMailboxes;
        choices.mailboxesAtOnce = example.mailboxesAtOnce;
        choices.shardIndex = example.shardIndex;
        choices.shardCount = example.shardCount;
        EXPECT_EQ(EvaluateChoices(choices).processEnabled, example.processEnabled);
    }
}

TEST(CommandLineBuilder, TheDefaultJournalIsBesideTheAccountsFileInEffect)
{
    LauncherChoices transfer;
    transfer.server = "mail";
    transfer.copyMailboxes = true;
    transfer.importAccountsFile = "/srv/users.csv";
    LauncherChoices exported = transfer;
    exported.exportAccounts = true;
    exported.exportAccountsFile = "export.csv";
    LauncherChoices withoutServer = transfer;
    withoutServer.server = "";
    const std::pair<LauncherChoices, std::string> cases[] = {
        {transfer, "/srv/users.csv.journal"},
        {exported, "export.csv.journal"},
        {withoutServer, ""},
    };
    for (const auto& [choices, journal] : cases)
        EXPECT_EQ(DefaultJournalFile(choices), journal);
}

TEST(CommandLineBuilder, UtilityArgumentsAreTheWordsUnquotedWithThePasswordAsAFile)
{
    LauncherChoices choices;
    choices.profile = "Head \"Office\"";
    choices.server = "mail";
    choices.createGroups = true;
    choices.secureConnection = true;
    choices.administratorPassword = "pa\"ss word";
    const std::vector<std::string> expected = {"cli",
                                               "--profile=Head \"Office\"",
                                               "--script=groups.cli",
                                               "--server=mail",
                                               "--ssl",
                                               "--account=postmaster",
                                               "--pwd-file=/run/user/1000/ex2qln-password-x",
                                               "--wait"};
    EXPECT_EQ(UtilityArguments(BuildCommandWords(choices), "/run/user/1000/ex2qln-password-x"), expected);
}

TEST(CommandLineBuilder, TransferNumbersAreArgumentsOfTheirOwn)
{
    LauncherChoices choices;
    choices.server = "mail";
    choices.copyMailboxes = true;
    choices.journalFile = "/srv/my state/run.journal";
    choices.shardIndex = 2;
    choices.shardCount = 3;
    choices.mailboxesAtOnce = 4;
    const std::vector<std::string> expected = {"transfer",
                                               "--accounts=accounts.csv",
                                               "--journal=/srv/my state/run.journal",
                                               "--shard=2/3",
                                               "--jobs=4",
                                               "--server=mail",
                                               "--account=postmaster",
                                               "--wait"};
    EXPECT_EQ(UtilityArguments(BuildCommandWords(choices), ""), expected);
}

TEST(CommandLineBuilder, WithoutAPasswordNoFileIsNamed)
{
    LauncherChoices choices;
    choices.exportLdif = true;
    const std::vector<std::string> expected = {"ldif", "--ldif=gal.ldif", "--target-dn=cn=contacts", "--wait"};
    EXPECT_EQ(UtilityArguments(BuildCommandWords(choices), ""), expected);
}

} // namespace
} // namespace ex2qlnui
