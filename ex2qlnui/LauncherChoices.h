// What the launcher dialog holds: one member per control, with the dialog's defaults.
#pragma once

#include <string>

namespace ex2qlnui {

struct LauncherChoices {
    // Source Microsoft Exchange System
    std::string profile;
    bool exportAccounts = false;
    std::string exportAccountsFile = "accounts.csv";
    bool exportLdif = false;
    std::string ldifFile = "gal.ldif";
    std::string targetSubtree = "cn=contacts";
    bool translateAttributes = false;
    std::string attributeFile = "ex2qln.ini";
    bool exportDistLists = false;
    std::string distListsScript = "groups.cli";

    // Target Quillon System
    std::string server;
    bool secureConnection = false;
    std::string administratorName = "postmaster";
    std::string administratorPassword;
    std::string importAccountsFile = "accounts.csv";
    bool createAccounts = false;
    bool createAliases = false;
    bool reverseAliases = false;
    bool copyMailboxes = false;
    bool fixFolderNames = false;
    bool ignoreErrors = false;
    bool mapPublicFolders = false;
    std::string publicFoldersAccount;
    bool importPasswords = false;
    std::string passwordDumpFile;
    bool createGroups = false;
    std::string groupsScript = "groups.cli";
    bool skipImap = false;
    bool resumeFromJournal = true;
    std::string journalFile;  // empty: ex2qln's own, beside the accounts file
    int mailboxesAtOnce = 1;
    int shardIndex = 1;       // this run's share, from 1, of shardCount; one share is no sharding
    int shardCount = 1;
    bool localLog = false;

    bool operator==(const LauncherChoices&) const = default;
};

} // namespace ex2qlnui
