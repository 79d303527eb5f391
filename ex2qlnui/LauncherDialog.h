// The launcher's one dialog: what to migrate and where, the ex2qln command line it makes, and
// "Process" to start it.
#pragma once

#include "ex2qlnui/LauncherChoices.h"
#include "ex2qlnui/UtilityLaunch.h"

#include <QDialog>

#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace ex2qlnui {

class LauncherDialog : public QDialog {
public:
    // Fills the profile list from the registry substitute and relabels the dialog from the
    // language file. Every control has an object name: its member's name without the trailing
    // "_" ("process", "administratorPassword", "exportAccountsFilePick").
    explicit LauncherDialog(LaunchSetup setup, QWidget* parent = nullptr);

    LauncherChoices Choices() const;

private:
    enum class Picker { Save, Open };

    QGroupBox* BuildSourceGroup();
    QGroupBox* BuildTargetGroup();
    // The journal, "Mailboxes at once" and the shard, in `row` and the row after it.
    void AddTransferNumbers(QGridLayout* grid, int& row);
    QLayout* BuildCommandLineArea();
    // A field and its "..." button in columns 1 and 2 of `row`.
    QLineEdit* AddFileField(QGridLayout* grid, int row, const char* name, const char* text, Picker picker,
                            QPushButton*& pick);
    void ConnectUpdates();
    void Update();
    void Localize();
    void PickFile(QLineEdit* field, Picker picker);
    void Process();

    LaunchSetup setup_;
    std::vector<std::pair<unsigned, QWidget*>> labelled_;  // controls by their number, for Localize

    QComboBox* profile_ = nullptr;
    QCheckBox* exportAccounts_ = nullptr;
    QLineEdit* exportAccountsFile_ = nullptr;
    QPushButton* exportAccountsFilePick_ = nullptr;
    QCheckBox* exportLdif_ = nullptr;
    QLineEdit* ldifFile_ = nullptr;
    QPushButton* ldifFilePick_ = nullptr;
    QLineEdit* targetSubtree_ = nullptr;
    QCheckBox* translateAttributes_ = nullptr;
    QLineEdit* attributeFile_ = nullptr;
    QPushButton* attributeFilePick_ = nullptr;
    QCheckBox* exportDistLists_ = nullptr;
    QLineEdit* distListsScript_ = nullptr;
    QPushButton* distListsScriptPick_ = nullptr;

    QLineEdit* server_ = nullptr;
    QCheckBox* secureConnection_ = nullptr;
    QLineEdit* administratorName_ = nullptr;
    QLineEdit* administratorPassword_ = nullptr;
    QLineEdit* importAccountsFile_ = nullptr;
    QPushButton* importAccountsFilePick_ = nullptr;
    QCheckBox* createAccounts_ = nullptr;
    QCheckBox* createAliases_ = nullptr;
    QCheckBox* reverseAliases_ = nullptr;
    QCheckBox* copyMailboxes_ = nullptr;
    QCheckBox* fixFolderNames_ = nullptr;
    QCheckBox* ignoreErrors_ = nullptr;
    QCheckBox* skipImap_ = nullptr;
    QCheckBox* resumeFromJournal_ = nullptr;
    QLineEdit* journalFile_ = nullptr;
    QPushButton* journalFilePick_ = nullptr;
    QLabel* mailboxesAtOnceLabel_ = nullptr;
    QSpinBox* mailboxesAtOnce_ = nullptr;
    QLabel* shardLabel_ = nullptr;
    QSpinBox* shardIndex_ = nullptr;
    QLabel* shardOfLabel_ = nullptr;
    QSpinBox* shardCount_ = nullptr;
    QCheckBox* mapPublicFolders_ = nullptr;
    QLineEdit* publicFoldersAccount_ = nullptr;
    QCheckBox* importPasswords_ = nullptr;
    QLineEdit* passwordDumpFile_ = nullptr;
    QPushButton* passwordDumpFilePick_ = nullptr;
    QCheckBox* createGroups_ = nullptr;
    QLineEdit* groupsScript_ = nullptr;
    QPushButton* groupsScriptPick_ = nullptr;
    QCheckBox* localLog_ = nullptr;

    QPlainTextEdit* commandLine_ = nullptr;
    QPushButton* process_ = nullptr;
};

} // namespace ex2qlnui
