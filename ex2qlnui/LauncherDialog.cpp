// The launcher dialog's controls, their enable rules and the live command line.
#include "ex2qlnui/LauncherDialog.h"

#include "ex2qln/diag/LocalizedText.h"
#include "ex2qlnui/CommandLineBuilder.h"
#include "ex2qlnui/LaunchRules.h"
#include "ex2qlnui/LauncherControls.h"
#include "ex2qlnui/ProfileList.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace ex2qlnui {
namespace {

constexpr char kDialogTitle[] = "Quillon: Migration from Microsoft Exchange";
constexpr char kLaunchFailureTitle[] = "Quillon Server Migration Utility";
constexpr char kLaunchFailureText[] = "Can not launch utility application";
constexpr int kPickerStartLength = 260;  // characters of the field that the picker starts from
constexpr int kIndent = 20;              // pixels before the options that belong to a command

template <class Widget, class... Arguments>
Widget* Named(const char* name, Arguments&&... arguments)
{
    auto* widget = new Widget(std::forward<Arguments>(arguments)...);
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QString Text(const std::string& text) { return QString::fromStdString(text); }
std::string Text(const QString& text) { return text.toStdString(); }

QString ControlText(QWidget* control)
{
    if (auto* label = qobject_cast<QLabel*>(control))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        return button->text();
    if (auto* group = qobject_cast<QGroupBox*>(control))
        return group->title();
    return {};
}

void SetControlText(QWidget* control, const QString& text)
{
    if (auto* label = qobject_cast<QLabel*>(control))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(control))
        button->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(control))
        group->setTitle(text);
}

// The language file's text for a control of this dialog, in the locale's character set.
std::optional<QString> DialogText(unsigned control)
{
    char buffer[1024];
    if (!ex2qln::diag::LookUpDialogText(kLauncherDialogId, control, buffer, sizeof buffer))
        return std::nullopt;
    return QString::fromLocal8Bit(buffer);
}

// Options that belong to the command above them, set in by an indent.
QHBoxLayout* IndentedRow(std::initializer_list<QWidget*> widgets)
{
    auto* row = new QHBoxLayout;
    row->addSpacing(kIndent);
    for (QWidget* widget : widgets)
        row->addWidget(widget);
    row->addStretch();
    return row;
}

} // namespace

LauncherDialog::LauncherDialog(LaunchSetup setup, QWidget* parent) : QDialog(parent), setup_(std::move(setup))
{
    setWindowTitle(QString::fromLatin1(kDialogTitle));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BuildSourceGroup());
    layout->addWidget(BuildTargetGroup());
    layout->addLayout(BuildCommandLineArea());

    auto* buttons = new QDialogButtonBox;
    process_ = Named<QPushButton>("process", QStringLiteral("Process"));
    process_->setDefault(true);
    auto* cancel = Named<QPushButton>("cancel", QStringLiteral("Cancel"));
    buttons->addButton(process_, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancel, QDialogButtonBox::RejectRole);
    labelled_.insert(labelled_.end(), {{kProcessButton, process_}, {kCancelButton, cancel}});
    layout->addWidget(buttons);
    connect(process_, &QPushButton::clicked, this, [this] { Process(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    for (const std::string& name : MapiProfileNames())
        profile_->addItem(Text(name));
    // No profile chosen: ex2qln then logs on to the default profile.
    profile_->setCurrentIndex(-1);
    profile_->clearEditText();

    Localize();
    ConnectUpdates();
    Update();
}

QGroupBox* LauncherDialog::BuildSourceGroup()
{
    auto* group = Named<QGroupBox>("sourceGroup", QStringLiteral("Source Microsoft Exchange System"));
    auto* grid = new QGridLayout(group);
    auto* profileLabel = new QLabel(QStringLiteral("Microsoft Exchange MAPI profile:"));
    // Editable: besides a profile, ex2qln takes the path of an organisation file here.
    profile_ = Named<QComboBox>("profile");
    profile_->setEditable(true);
    profileLabel->setBuddy(profile_);
    grid->addWidget(profileLabel, 0, 0);
    grid->addWidget(profile_, 0, 1, 1, 2);

    exportAccounts_ = Named<QCheckBox>("exportAccounts", QStringLiteral("Export accounts to CSV file:"));
    grid->addWidget(exportAccounts_, 1, 0);
    exportAccountsFile_ =
        AddFileField(grid, 1, "exportAccountsFile", "accounts.csv", Picker::Save, exportAccountsFilePick_);

    exportLdif_ = Named<QCheckBox>("exportLdif", QStringLiteral("Export Mail Contacts to LDIF file:"));
    grid->addWidget(exportLdif_, 2, 0);
    ldifFile_ = AddFileField(grid, 2, "ldifFile", "gal.ldif", Picker::Save, ldifFilePick_);

    auto* subtreeLabel = new QLabel(QStringLiteral("Target &Subtree:"));
    subtreeLabel->setIndent(kIndent);
    targetSubtree_ = Named<QLineEdit>("targetSubtree", QStringLiteral("cn=contacts"));
    subtreeLabel->setBuddy(targetSubtree_);
    grid->addWidget(subtreeLabel, 3, 0);
    grid->addWidget(targetSubtree_, 3, 1);

    translateAttributes_ = Named<QCheckBox>("translateAttributes", QStringLiteral("Translate attributes using:"));
    grid->addWidget(translateAttributes_, 4, 0);
    attributeFile_ = AddFileField(grid, 4, "attributeFile", "ex2qln.ini", Picker::Save, attributeFilePick_);

    exportDistLists_ =
        Named<QCheckBox>("exportDistLists", QStringLiteral("Export Distribution Lists to script file:"));
    grid->addWidget(exportDistLists_, 5, 0);
    distListsScript_ = AddFileField(grid, 5, "distListsScript", "groups.cli", Picker::Save, distListsScriptPick_);

    labelled_.insert(labelled_.end(), {{kSourceGroup, group},
                                       {kProfileLabel, profileLabel},
                                       {kExportAccountsBox, exportAccounts_},
                                       {kExportLdifBox, exportLdif_},
                                       {kTargetSubtreeLabel, subtreeLabel},
                                       {kTranslateAttributesBox, translateAttributes_},
                                       {kExportDistListsBox, exportDistLists_}});
    return group;
}

QGroupBox* LauncherDialog::BuildTargetGroup()
{
    auto* group = Named<QGroupBox>("targetGroup", QStringLiteral("Target Quillon System"));
    auto* grid = new QGridLayout(group);
    int row = 0;
    auto* serverLabel = new QLabel(QStringLiteral("Server:"));
    server_ = Named<QLineEdit>("server");
    serverLabel->setBuddy(server_);
    grid->addWidget(serverLabel, row, 0);
    grid->addWidget(server_, row++, 1);
    secureConnection_ = Named<QCheckBox>("secureConnection", QStringLiteral("Use a secure (SSL/&TLS) connection"));
    grid->addWidget(secureConnection_, row++, 1);

    auto* nameLabel = new QLabel(QStringLiteral("&Administrator Name:"));
    administratorName_ = Named<QLineEdit>("administratorName", QStringLiteral("postmaster"));
    nameLabel->setBuddy(administratorName_);
    grid->addWidget(nameLabel, row, 0);
    grid->addWidget(administratorName_, row++, 1);
    auto* passwordLabel = new QLabel(QStringLiteral("Administrator &Password:"));
    administratorPassword_ = Named<QLineEdit>("administratorPassword");
    administratorPassword_->setEchoMode(QLineEdit::Password);
    passwordLabel->setBuddy(administratorPassword_);
    grid->addWidget(passwordLabel, row, 0);
    grid->addWidget(administratorPassword_, row++, 1);

    auto* importLabel = new QLabel(QStringLiteral("Import accounts from CSV file:"));
    grid->addWidget(importLabel, row, 0);
    importAccountsFile_ =
        AddFileField(grid, row++, "importAccountsFile", "accounts.csv", Picker::Open, importAccountsFilePick_);

    createAccounts_ = Named<QCheckBox>("createAccounts", QStringLiteral("Create Quillon accounts"));
    grid->addWidget(createAccounts_, row++, 0, 1, 3);
    createAliases_ = Named<QCheckBox>("createAliases", QStringLiteral("Create Aliases"));
    reverseAliases_ = Named<QCheckBox>("reverseAliases", QStringLiteral("Reverse Aliases"));
    grid->addLayout(IndentedRow({createAliases_, reverseAliases_}), row++, 0, 1, 3);

    copyMailboxes_ = Named<QCheckBox>("copyMailboxes", QStringLiteral("Copy Mailboxes (Folders)"));
    grid->addWidget(copyMailboxes_, row++, 0, 1, 3);
    fixFolderNames_ = Named<QCheckBox>("fixFolderNames", QStringLiteral("Fix folder names"));
    ignoreErrors_ = Named<QCheckBox>("ignoreErrors", QStringLiteral("Ignore errors"));
    skipImap_ = Named<QCheckBox>("skipImap", QStringLiteral("Skip imap objects"));
    grid->addLayout(IndentedRow({fixFolderNames_, ignoreErrors_, skipImap_}), row++, 0, 1, 3);
    AddTransferNumbers(grid, row);

    mapPublicFolders_ = Named<QCheckBox>("mapPublicFolders", QStringLiteral("Map Public Folders to:"));
    publicFoldersAccount_ = Named<QLineEdit>("publicFoldersAccount");
    grid->addWidget(mapPublicFolders_, row, 0);
    grid->addWidget(publicFoldersAccount_, row++, 1);

    importPasswords_ = Named<QCheckBox>("importPasswords", QStringLiteral("Import passwords from:"));
    grid->addWidget(importPasswords_, row, 0);
    passwordDumpFile_ = AddFileField(grid, row++, "passwordDumpFile", "", Picker::Open, passwordDumpFilePick_);

    createGroups_ = Named<QCheckBox>("createGroups", QStringLiteral("Create Groups using script file:"));
    grid->addWidget(createGroups_, row, 0);
    groupsScript_ = AddFileField(grid, row++, "groupsScript", "groups.cli", Picker::Open, groupsScriptPick_);

    localLog_ = Named<QCheckBox>("localLog", QStringLiteral("Local log"));
    grid->addWidget(localLog_, row++, 0, 1, 3);

    labelled_.insert(labelled_.end(), {{kTargetGroup, group},
                                       {kServerLabel, serverLabel},
                                       {kSecureConnectionBox, secureConnection_},
                                       {kAdministratorNameLabel, nameLabel},
                                       {kAdministratorPasswordLabel, passwordLabel},
                                       {kImportAccountsLabel, importLabel},
                                       {kCreateAccountsBox, createAccounts_},
                                       {kCreateAliasesBox, createAliases_},
                                       {kReverseAliasesBox, reverseAliases_},
                                       {kCopyMailboxesBox, copyMailboxes_},
                                       {kFixFolderNamesBox, fixFolderNames_},
                                       {kIgnoreErrorsBox, ignoreErrors_},
                                       {kMapPublicFoldersBox, mapPublicFolders_},
                                       {kImportPasswordsBox, importPasswords_},
                                       {kCreateGroupsBox, createGroups_},
                                       {kSkipImapBox, skipImap_},
                                       {kLocalLogBox, localLog_}});
    return group;
}

void LauncherDialog::AddTransferNumbers(QGridLayout* grid, int& row)
{
    resumeFromJournal_ = Named<QCheckBox>("resumeFromJournal", QStringLiteral("Resume from the journal"));
    resumeFromJournal_->setChecked(true);
    grid->addLayout(IndentedRow({resumeFromJournal_}), row, 0);
    // Left empty, the field shows where ex2qln keeps the journal by itself.
    journalFile_ = AddFileField(grid, row++, "journalFile", "", Picker::Save, journalFilePick_);

    auto number = [](const char* name, int most) {
        auto* box = Named<QSpinBox>(name);
        box->setRange(1, most);
        return box;
    };
    mailboxesAtOnceLabel_ = new QLabel(QStringLiteral("Mailboxes at once:"));
    mailboxesAtOnce_ = number("mailboxesAtOnce", static_cast<int>(kMostJobs));
    mailboxesAtOnceLabel_->setBuddy(mailboxesAtOnce_);
    shardLabel_ = new QLabel(QStringLiteral("Shard:"));
    shardIndex_ = number("shardIndex", 1);  // up to the number of shards, which starts at 1
    shardLabel_->setBuddy(shardIndex_);
    shardOfLabel_ = new QLabel(QStringLiteral("of"));
    shardCount_ = number("shardCount", kMostShards);
    shardOfLabel_->setBuddy(shardCount_);
    shardLabel_->setIndent(kIndent);
    grid->addLayout(IndentedRow({mailboxesAtOnceLabel_, mailboxesAtOnce_, shardLabel_, shardIndex_, shardOfLabel_,
                                 shardCount_}),
                    row++, 0, 1, 3);

    labelled_.insert(labelled_.end(), {{kResumeFromJournalBox, resumeFromJournal_},
                                       {kMailboxesAtOnceLabel, mailboxesAtOnceLabel_},
                                       {kShardLabel, shardLabel_},
                                       {kShardOfLabel, shardOfLabel_}});
}

QLayout* LauncherDialog::BuildCommandLineArea()
{
    auto* area = new QVBoxLayout;
    auto* label = new QLabel(QStringLiteral("Command Line"));
    commandLine_ = Named<QPlainTextEdit>("commandLine");
    commandLine_->setReadOnly(true);
    commandLine_->setFixedHeight(commandLine_->fontMetrics().lineSpacing() * 4 + 12);
    label->setBuddy(commandLine_);
    area->addWidget(label);
    area->addWidget(commandLine_);
    labelled_.push_back({kCommandLineLabel, label});
    if (setup_.terminal)
        return area;

    // Without a terminal window ex2qln's output can only be read afterwards: say where.
    auto* row = new QHBoxLayout;
    auto* logLabel = new QLabel(QStringLiteral("Without a terminal window the output goes to:"));
    auto* log = Named<QLineEdit>("outputLog", Text(setup_.outputLog));
    log->setReadOnly(true);
    row->addWidget(logLabel);
    row->addWidget(log, 1);
    area->addLayout(row);
    labelled_.push_back({kOutputLogLabel, logLabel});
    return area;
}

QLineEdit* LauncherDialog::AddFileField(QGridLayout* grid, int row, const char* name, const char* text,
                                        Picker picker, QPushButton*& pick)
{
    auto* field = Named<QLineEdit>(name, QString::fromUtf8(text));
    pick = Named<QPushButton>((std::string(name) + "Pick").c_str(), QStringLiteral("..."));
    pick->setFixedWidth(pick->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 20);
    grid->addWidget(field, row, 1);
    grid->addWidget(pick, row, 2);
    connect(pick, &QPushButton::clicked, this, [this, field, picker] { PickFile(field, picker); });
    return field;
}

void LauncherDialog::ConnectUpdates()
{
    for (QCheckBox* box : findChildren<QCheckBox*>())
        connect(box, &QCheckBox::toggled, this, [this] { Update(); });
    for (QLineEdit* field : findChildren<QLineEdit*>())
        connect(field, &QLineEdit::textChanged, this, [this] { Update(); });
    connect(profile_, &QComboBox::currentTextChanged, this, [this] { Update(); });
    // The share cannot pass the number of shares; connected first, so that Update sees both.
    connect(shardCount_, &QSpinBox::valueChanged, shardIndex_, &QSpinBox::setMaximum);
    for (QSpinBox* box : findChildren<QSpinBox*>())
        connect(box, &QSpinBox::valueChanged, this, [this] { Update(); });
}

LauncherChoices LauncherDialog::Choices() const
{
    LauncherChoices choices;
    choices.profile = Text(profile_->currentText());
    choices.exportAccounts = exportAccounts_->isChecked();
    choices.exportAccountsFile = Text(exportAccountsFile_->text());
    choices.exportLdif = exportLdif_->isChecked();
    choices.ldifFile = Text(ldifFile_->text());
    choices.targetSubtree = Text(targetSubtree_->text());
    choices.translateAttributes = translateAttributes_->isChecked();
    choices.attributeFile = Text(attributeFile_->text());
    choices.exportDistLists = exportDistLists_->isChecked();
    choices.distListsScript = Text(distListsScript_->text());
    choices.server = Text(server_->text());
    choices.secureConnection = secureConnection_->isChecked();
    choices.administratorName = Text(administratorName_->text());
    choices.administratorPassword = Text(administratorPassword_->text());
    choices.importAccountsFile = Text(importAccountsFile_->text());
    choices.createAccounts = createAccounts_->isChecked();
    choices.createAliases = createAliases_->isChecked();
    choices.reverseAliases = reverseAliases_->isChecked();
    choices.copyMailboxes = copyMailboxes_->isChecked();
    choices.fixFolderNames = fixFolderNames_->isChecked();
    choices.ignoreErrors = ignoreErrors_->isChecked();
    choices.mapPublicFolders = mapPublicFolders_->isChecked();
    choices.publicFoldersAccount = Text(publicFoldersAccount_->text());
    choices.importPasswords = importPasswords_->isChecked();
    choices.passwordDumpFile = Text(passwordDumpFile_->text());
    choices.createGroups = createGroups_->isChecked();
    choices.groupsScript = Text(groupsScript_->text());
    choices.skipImap = skipImap_->isChecked();
    choices.resumeFromJournal = resumeFromJournal_->isChecked();
    choices.journalFile = Text(journalFile_->text());
    choices.mailboxesAtOnce = mailboxesAtOnce_->value();
    choices.shardIndex = shardIndex_->value();
    choices.shardCount = shardCount_->value();
    choices.localLog = localLog_->isChecked();
    return choices;
}

void LauncherDialog::Update()
{
    const LauncherChoices choices = Choices();
    const LauncherState state = EvaluateChoices(choices);
    const EnabledControls& enabled = state.enabled;
    auto enable = [](bool on, std::initializer_list<QWidget*> widgets) {
        for (QWidget* widget : widgets)
            widget->setEnabled(on);
    };
    enable(enabled.exportAccountsFile, {exportAccountsFile_, exportAccountsFilePick_});
    enable(enabled.ldifFile, {ldifFile_, ldifFilePick_, targetSubtree_});
    enable(enabled.translateAttributesBox, {translateAttributes_});
    enable(enabled.attributeFile, {attributeFile_, attributeFilePick_});
    enable(enabled.distListsScript, {distListsScript_, distListsScriptPick_});
    enable(enabled.serverCommandBoxes, {createAccounts_, copyMailboxes_, importPasswords_, createGroups_});
    enable(enabled.aliasBoxes, {createAliases_, reverseAliases_});
    enable(enabled.transferOptionBoxes, {fixFolderNames_, ignoreErrors_, skipImap_, resumeFromJournal_,
                                         mailboxesAtOnceLabel_, mailboxesAtOnce_, shardLabel_, shardOfLabel_,
                                         shardCount_});
    enable(enabled.journalFile, {journalFile_, journalFilePick_});
    enable(enabled.shardIndex, {shardIndex_});
    journalFile_->setPlaceholderText(Text(DefaultJournalFile(choices)));
    enable(enabled.publicFoldersBox, {mapPublicFolders_});
    enable(enabled.publicFoldersAccount, {publicFoldersAccount_});
    enable(enabled.importAccountsFile, {importAccountsFile_, importAccountsFilePick_});
    enable(enabled.passwordDumpFile, {passwordDumpFile_, passwordDumpFilePick_});
    enable(enabled.groupsScript, {groupsScript_, groupsScriptPick_});
    enable(enabled.localLog, {localLog_});
    commandLine_->setPlainText(Text(DisplayCommandLine(BuildCommandWords(choices))));
    process_->setEnabled(state.processEnabled);
}

void LauncherDialog::Localize()
{
    // Without a title in the language file the dialog stays as designed.
    std::optional<QString> title = DialogText(0);
    if (!title)
        return;
    setWindowTitle(*title);
    for (const auto& [number, control] : labelled_) {
        if (ControlText(control).isEmpty())
            continue;
        if (std::optional<QString> text = DialogText(number))
            SetControlText(control, *text);
    }
}

void LauncherDialog::PickFile(QLineEdit* field, Picker picker)
{
    QFileDialog dialog(this);
    dialog.setNameFilter(QStringLiteral("All Files (*)"));
    if (picker == Picker::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // Nothing is written until ex2qln runs, so there is nothing to confirm yet.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    dialog.selectFile(field->text().left(kPickerStartLength));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    field->setText(dialog.selectedFiles().constFirst());
}

void LauncherDialog::Process()
{
    const LaunchResult result = StartUtility(setup_, BuildCommandWords(Choices()));
    if (FAILED(result.status)) {
        QMessageBox failure(QMessageBox::Critical, QString::fromLatin1(kLaunchFailureTitle),
                            QString::fromLatin1(kLaunchFailureText), QMessageBox::Ok, this);
        failure.setObjectName(QStringLiteral("launchFailure"));
        failure.setInformativeText(Text(result.reason));
        failure.exec();
    }
    accept();
}

} // namespace ex2qlnui
