// The launcher's command-line rules by example: choices changed from the dialog's defaults, the
// command line the dialog shows and whether "Process" is enabled. The builder's unit test and the
// dialog test both run this table.
#pragma once

#include "ex2qlnui/LauncherChoices.h"

#include <string>
#include <vector>

namespace ex2qlnui::testing {

struct CommandLineCase {
    const char* name;
    void (*choose)(LauncherChoices&);  // changes from the defaults
    std::string commandLine;
    bool processEnabled;
};

inline LauncherChoices ChoicesOf(const CommandLineCase& example)
{
    LauncherChoices choices;
    example.choose(choices);
    return choices;
}

inline void ServerReady(LauncherChoices& c) { c.server = "mail.example.com"; }

inline const std::string kServerWords = " --server=\"mail.example.com\" --account=\"postmaster\"";

inline const std::vector<CommandLineCase>& CommandLineCases()
{
    static const std::vector<CommandLineCase> cases = {
        {"the defaults: no command", [](LauncherChoices&) {}, "ex2qln", false},
        {"a profile alone is no command", [](LauncherChoices& c) { c.profile = "Head Office"; },
         "ex2qln --profile=\"Head Office\"", false},
        {"mailboxes writes the export file", [](LauncherChoices& c) { c.exportAccounts = true; },
         "ex2qln mailboxes --accounts=\"accounts.csv\"", true},
        {"mailboxes needs its file",
         [](LauncherChoices& c) {
             c.exportAccounts = true;
             c.exportAccountsFile = "";
         },
         "ex2qln mailboxes", false},
        {"ldif with its file and subtree", [](LauncherChoices& c) { c.exportLdif = true; },
         "ex2qln ldif --ldif=\"gal.ldif\" --target-dn=\"cn=contacts\"", true},
        {"an empty subtree is left out for ex2qln's default",
         [](LauncherChoices& c) {
             c.exportLdif = true;
             c.targetSubtree = "";
         },
         "ex2qln ldif --ldif=\"gal.ldif\"", true},
        {"ldif needs its file",
         [](LauncherChoices& c) {
             c.exportLdif = true;
             c.ldifFile = "";
         },
         "ex2qln ldif --target-dn=\"cn=contacts\"", false},
        {"the attribute file alone is not in effect", [](LauncherChoices& c) { c.translateAttributes = true; },
         "ex2qln", false},
        {"the attribute file with ldif",
         [](LauncherChoices& c) {
             c.exportLdif = true;
             c.translateAttributes = true;
         },
         "ex2qln ldif --ldif=\"gal.ldif\" --target-dn=\"cn=contacts\" --ini=\"ex2qln.ini\"", true},
        {"an attribute file in effect must be named",
         [](LauncherChoices& c) {
             c.exportAccounts = true;
             c.translateAttributes = true;
             c.attributeFile = "";
         },
         "ex2qln mailboxes --accounts=\"accounts.csv\"", false},
        {"distlists writes its script", [](LauncherChoices& c) { c.exportDistLists = true; },
         "ex2qln distlists --script=\"groups.cli\"", true},
        {"server-side boxes without a server have no effect",
         [](LauncherChoices& c) {
             c.createAccounts = c.copyMailboxes = c.importPasswords = c.createGroups = true;
             c.passwordDumpFile = "dump.txt";
         },
         "ex2qln", false},
        {"nor without an administrator name",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.administratorName = "";
             c.createAccounts = true;
         },
         "ex2qln", false},
        {"accounts reads the import file",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.createAccounts = true;
         },
         "ex2qln accounts --accounts=\"accounts.csv\"" + kServerWords, true},
        {"accounts needs the import file",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.createAccounts = true;
             c.importAccountsFile = "";
         },
         "ex2qln accounts" + kServerWords, false},
        {"mailboxes with accounts passes the export file",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.exportAccounts = c.createAccounts = true;
             c.exportAccountsFile = "export.csv";
             c.importAccountsFile = "";
         },
         "ex2qln mailboxes accounts --accounts=\"export.csv\"" + kServerWords, true},
        {"passwords alone passes the import file",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.importPasswords = true;
             c.passwordDumpFile = "dump.txt";
         },
         "ex2qln passwords --accounts=\"accounts.csv\" --passwds=\"dump.txt\"" + kServerWords, true},
        {"passwords needs the dump file",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.importPasswords = true;
         },
         "ex2qln passwords --accounts=\"accounts.csv\"" + kServerWords, false},
        {"cli alone needs no accounts file",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.createGroups = true;
             c.importAccountsFile = "";
         },
         "ex2qln cli --script=\"groups.cli\"" + kServerWords, true},
        {"cli without a script is left to ex2qln",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.createGroups = true;
             c.groupsScript = "";
         },
         "ex2qln cli" + kServerWords, true},
        {"distlists with cli passes the distlists script",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.exportDistLists = c.createGroups = true;
             c.distListsScript = "lists.cli";
             c.groupsScript = "other.cli";
         },
         "ex2qln distlists cli --script=\"lists.cli\"" + kServerWords, true},
        {"transfer with its options",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.copyMailboxes = c.fixFolderNames = c.ignoreErrors = c.skipImap = true;
         },
         "ex2qln transfer --accounts=\"accounts.csv\" --fix-folders --ignore-errors --skip-imap" + kServerWords,
         true},
        {"without resuming, no journal",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.copyMailboxes = true;
             c.resumeFromJournal = false;
         },
         "ex2qln transfer --accounts=\"accounts.csv\" --no-journal" + kServerWords, true},
        {"without resuming, the journal file is left out",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.copyMailboxes = true;
             c.resumeFromJournal = false;
             c.journalFile = "run.journal";
         },
         "ex2qln transfer --accounts=\"accounts.csv\" --no-journal" + kServerWords, true},
        {"the journal in a place of its own",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.copyMailboxes = true;
             c.journalFile = "/srv/my state/run.journal";
         },
         "ex2qln transfer --accounts=\"accounts.csv\" --journal=\"/srv/my state/run.journal\"" + kServerWords, true},
        {"several mailboxes at once",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.copyMailboxes = true;
             c.mailboxesAtOnce = 2;
         },
         "ex2qln transfer --accounts=\"accounts.csv\" --jobs=2" + kServerWords, true},
        {"the most mailboxes at once",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.copyMailboxes = true;
             c.mailboxesAtOnce = 64;
         },
         "ex2qln transfer --accounts=\"accounts.csv\" --jobs=64" + kServerWords, true},
        {"the first of two shards",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.copyMailboxes = true;
             c.shardCount = 2;
         },
         "ex2qln transfer --accounts=\"accounts.csv\" --shard=1/2" + kServerWords, true},
        {"the last of three shards",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.copyMailboxes = true;
             c.shardIndex = 3;
             c.shardCount = 3;
         },
         "ex2qln transfer --accounts=\"accounts.csv\" --shard=3/3" + kServerWords, true},
        {"the journal, a shard and several mailboxes together",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.copyMailboxes = c.skipImap = true;
             c.journalFile = "shard2.journal";
             c.shardIndex = 2;
             c.shardCount = 4;
             c.mailboxesAtOnce = 8;
         },
         "ex2qln transfer --accounts=\"accounts.csv\" --skip-imap --journal=\"shard2.journal\" --shard=2/4 --jobs=8" +
             kServerWords,
         true},
        {"alias options without accounts are left out",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.copyMailboxes = c.createAliases = c.reverseAliases = true;
         },
         "ex2qln transfer --accounts=\"accounts.csv\"" + kServerWords, true},
        {"transfer options without transfer are left out",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.createAccounts = c.createAliases = c.reverseAliases = true;
             c.fixFolderNames = c.ignoreErrors = c.skipImap = true;
             c.resumeFromJournal = false;
             c.journalFile = "run.journal";
             c.mailboxesAtOnce = 4;
             c.shardIndex = 2;
             c.shardCount = 3;
         },
         "ex2qln accounts --accounts=\"accounts.csv\" --aliases --reverse-aliases" + kServerWords, true},
        {"public folders with transfer",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.copyMailboxes = c.mapPublicFolders = true;
             c.publicFoldersAccount = "public";
         },
         "ex2qln transfer --accounts=\"accounts.csv\" --public=\"public\"" + kServerWords, true},
        {"public folders in effect need an account",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.createAccounts = c.mapPublicFolders = true;
         },
         "ex2qln accounts --accounts=\"accounts.csv\"" + kServerWords, false},
        {"public folders are not in effect with cli",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.createGroups = c.mapPublicFolders = true;
             c.publicFoldersAccount = "public";
         },
         "ex2qln cli --script=\"groups.cli\"" + kServerWords, true},
        {"server options only with a server-side command",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.secureConnection = true;
             c.administratorPassword = "secret";
             c.exportAccounts = true;
         },
         "ex2qln mailboxes --accounts=\"accounts.csv\"", true},
        {"TLS, and the password masked",
         [](LauncherChoices& c) {
             ServerReady(c);
             c.createGroups = c.secureConnection = true;
             c.administratorPassword = "pa\"ss";
         },
         "ex2qln cli --script=\"groups.cli\" --server=\"mail.example.com\" --ssl --account=\"postmaster\" "
         "--pwd=\"********\"",
         true},
        {"values stand unchanged inside the quotes",
         [](LauncherChoices& c) {
             c.profile = "Head \"Office\" \\ 2";
             c.exportAccounts = true;
             c.exportAccountsFile = "/srv/my exports/accounts.csv";
         },
         "ex2qln mailboxes --profile=\"Head \"Office\" \\ 2\" --accounts=\"/srv/my exports/accounts.csv\"", true},
        {"the local log with a command",
         [](LauncherChoices& c) {
             c.exportAccounts = c.localLog = true;
         },
         "ex2qln mailboxes --accounts=\"accounts.csv\" --local-log", true},
        {"the local log alone is no command", [](LauncherChoices& c) { c.localLog = true; }, "ex2qln", false},
        {"every command, in ex2qln's order",
         [](LauncherChoices& c) {
             c.profile = "Head Office";
             c.exportAccounts = c.exportLdif = c.translateAttributes = c.exportDistLists = true;
             ServerReady(c);
             c.secureConnection = true;
             c.administratorName = "admin";
             c.administratorPassword = "secret";
             c.createAccounts = c.createAliases = c.reverseAliases = true;
             c.copyMailboxes = c.fixFolderNames = c.ignoreErrors = c.skipImap = true;
             c.resumeFromJournal = false;
             c.mailboxesAtOnce = 3;
             c.shardIndex = 5;
             c.shardCount = 6;
             c.mapPublicFolders = true;
             c.publicFoldersAccount = "public";
             c.importPasswords = true;
             c.passwordDumpFile = "dump.txt";
             c.createGroups = true;
             c.localLog = true;
         },
         "ex2qln mailboxes ldif distlists accounts transfer passwords cli --profile=\"Head Office\" "
         "--accounts=\"accounts.csv\" --ldif=\"gal.ldif\" --target-dn=\"cn=contacts\" --ini=\"ex2qln.ini\" "
         "--passwds=\"dump.txt\" --script=\"groups.cli\" --fix-folders --ignore-errors --public=\"public\" "
         "--aliases --reverse-aliases --skip-imap --no-journal --shard=5/6 --jobs=3 --local-log --server=\"mail.example.com\" --ssl "
         "--account=\"admin\" --pwd=\"********\"",
         true},
    };
    return cases;
}

} // namespace ex2qlnui::testing
