// The launcher dialog's number and the numbers of its controls. They are the keys of the dialog's
// texts in the language file: section "Dialog_102_<language>", key 0 the title, the others below.
#pragma once

namespace ex2qlnui {

inline constexpr unsigned kLauncherDialogId = 102;

enum LauncherControl : unsigned {
    kProcessButton = 1,
    kCancelButton = 2,
    kSourceGroup = 1001,
    kProfileLabel = 1002,
    kExportAccountsBox = 1003,
    kExportLdifBox = 1004,
    kTargetSubtreeLabel = 1005,
    kTranslateAttributesBox = 1006,
    kExportDistListsBox = 1007,
    kTargetGroup = 1010,
    kServerLabel = 1011,
    kSecureConnectionBox = 1012,
    kAdministratorNameLabel = 1013,
    kAdministratorPasswordLabel = 1014,
    kImportAccountsLabel = 1015,
    kCreateAccountsBox = 1016,
    kCreateAliasesBox = 1017,
    kReverseAliasesBox = 1018,
    kCopyMailboxesBox = 1019,
    kFixFolderNamesBox = 1020,
    kIgnoreErrorsBox = 1021,
    kMapPublicFoldersBox = 1022,
    kImportPasswordsBox = 1023,
    kCreateGroupsBox = 1024,
    kSkipImapBox = 1025,
    kLocalLogBox = 1026,
    kResumeFromJournalBox = 1027,
    kMailboxesAtOnceLabel = 1028,
    kShardLabel = 1029,
    kCommandLineLabel = 1030,
    kOutputLogLabel = 1031,
    kShardOfLabel = 1032,
};

} // namespace ex2qlnui
