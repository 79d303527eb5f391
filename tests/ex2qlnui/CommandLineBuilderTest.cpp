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
          .publicFoldersBox = true,
          .publicFoldersAccount = true,
          .passwordDumpFile = true,
          .localLog = true}},
        {"without the server the checked server-side boxes change nothing", ServerSideChecked(false, false, false),
         {.ldifFile = true, .translateAttributesBox = true, .attributeFile = true, .localLog = true}},
    };
    for (const Case& example : cases) {
        SCOPED_TRACE(example.name);
        EXPECT_EQ(EvaluateChoices(example.choices).enabled, example.enabled);
    }
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

TEST(CommandLineBuilder, WithoutAPasswordNoFileIsNamed)
{
    LauncherChoices choices;
    choices.exportLdif = true;
    const std::vector<std::string> expected = {"ldif", "--ldif=gal.ldif", "--target-dn=cn=contacts", "--wait"};
    EXPECT_EQ(UtilityArguments(BuildCommandWords(choices), ""), expected);
}

} // namespace
} // namespace ex2qlnui
