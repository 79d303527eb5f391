// The launcher dialog on a real display: its controls set as a user sets them, the command line
// and enabled states against the builder's table, and "Process" starting a stand-in ex2qln.
#include "ex2qln/diag/LocalizedText.h"
#include "ex2qlnui/CommandLineBuilder.h"
#include "ex2qlnui/LaunchRules.h"
#include "ex2qlnui/LauncherDialog.h"
#include "tests/ex2qlnui/CommandLineCases.h"
#include "tests/ex2qlnui/StandInUtility.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TemporaryDirectory.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sys/stat.h>

namespace ex2qlnui {
namespace {

using testing::StandInUtility;
using testing::UtilityRecord;
using testsupport::ReadFile;
using testsupport::ScopedEnvironment;
using testsupport::TemporaryDirectory;

QString Q(const std::string& text) { return QString::fromStdString(text); }

// As a list QCOMPARE can show.
QStringList Q(const std::vector<std::string>& texts)
{
    QStringList list;
    for (const std::string& text : texts)
        list.append(Q(text));
    return list;
}

// Sets the dialog's controls as a user does: clicks and typing, each on an enabled control.
class DialogDriver {
public:
    explicit DialogDriver(LauncherDialog& dialog) : dialog_(dialog) {}

    template <class Widget>
    Widget* Find(const char* name) const
    {
        auto* widget = dialog_.findChild<Widget*>(QString::fromLatin1(name));
        if (!widget)
            qFatal("the dialog has no control %s", name);
        return widget;
    }

    QLineEdit* Field(const char* name) const
    {
        if (auto* combo = dialog_.findChild<QComboBox*>(QString::fromLatin1(name)))
            return combo->lineEdit();
        return Find<QLineEdit>(name);
    }

    bool SetText(const char* name, const std::string& text)
    {
        QLineEdit* field = Field(name);
        if (field->text() == Q(text))
            return true;
        if (!field->isEnabled())
            return Refuse(name);
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, Q(text));
        return field->text() == Q(text);
    }

    bool SetChecked(const char* name, bool checked)
    {
        auto* box = Find<QCheckBox>(name);
        if (box->isChecked() == checked)
            return true;
        if (!box->isEnabled())
            return Refuse(name);
        QStyleOptionButton option;
        option.initFrom(box);
        QRect indicator = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
        QTest::mouseClick(box, Qt::LeftButton, {}, indicator.center());
        return box->isChecked() == checked;
    }

    bool SetValue(const char* name, int value)
    {
        auto* box = Find<QSpinBox>(name);
        if (box->value() == value)
            return true;
        if (!box->isEnabled())
            return Refuse(name);
        box->selectAll();
        QTest::keyClicks(box, QString::number(value));
        return box->value() == value;
    }

    // Reaches any combination: first everything is made usable (a server, and the commands the
    // other controls depend on), then fields and options are set, the commands last, and the
    // server, which can disable the server side, at the very end.
    bool Apply(const LauncherChoices& c)
    {
        bool ok = SetText("server", "staging") && SetText("administratorName", "staging");
        for (const char* box : {"createAccounts", "copyMailboxes", "importPasswords", "createGroups", "exportLdif",
                                "translateAttributes", "mapPublicFolders", "resumeFromJournal"})
            ok = ok && SetChecked(box, true);
        ok = ok && SetText("profile", c.profile) && SetText("importAccountsFile", c.importAccountsFile) &&
             SetText("groupsScript", c.groupsScript) && SetText("passwordDumpFile", c.passwordDumpFile) &&
             SetText("publicFoldersAccount", c.publicFoldersAccount) && SetText("ldifFile", c.ldifFile) &&
             SetText("targetSubtree", c.targetSubtree) && SetText("attributeFile", c.attributeFile) &&
             SetText("administratorPassword", c.administratorPassword) && SetText("journalFile", c.journalFile) &&
             SetValue("mailboxesAtOnce", c.mailboxesAtOnce) && SetValue("shardCount", c.shardCount) &&
             SetValue("shardIndex", c.shardIndex);
        ok = ok && SetChecked("exportAccounts", true) && SetText("exportAccountsFile", c.exportAccountsFile) &&
             SetChecked("exportDistLists", true) && SetText("distListsScript", c.distListsScript);
        ok = ok && SetChecked("createAliases", c.createAliases) && SetChecked("reverseAliases", c.reverseAliases) &&
             SetChecked("fixFolderNames", c.fixFolderNames) && SetChecked("ignoreErrors", c.ignoreErrors) &&
             SetChecked("skipImap", c.skipImap) && SetChecked("resumeFromJournal", c.resumeFromJournal) &&
             SetChecked("localLog", c.localLog) &&
             SetChecked("secureConnection", c.secureConnection) &&
             SetChecked("mapPublicFolders", c.mapPublicFolders) &&
             SetChecked("translateAttributes", c.translateAttributes);
        ok = ok && SetChecked("exportAccounts", c.exportAccounts) && SetChecked("exportLdif", c.exportLdif) &&
             SetChecked("exportDistLists", c.exportDistLists) && SetChecked("createAccounts", c.createAccounts) &&
             SetChecked("copyMailboxes", c.copyMailboxes) && SetChecked("importPasswords", c.importPasswords) &&
             SetChecked("createGroups", c.createGroups);
        return ok && SetText("server", c.server) && SetText("administratorName", c.administratorName);
    }

    QString CommandLine() const { return Find<QPlainTextEdit>("commandLine")->toPlainText(); }
    bool Enabled(const char* name) const { return Find<QWidget>(name)->isEnabled(); }

private:
    static bool Refuse(const char* name)
    {
        qWarning("control %s is disabled", name);
        return false;
    }

    LauncherDialog& dialog_;
};

// Each control's enabled state as the rules give it; the controls of one rule go together.
std::vector<std::pair<const char*, bool>> ExpectedEnabled(const EnabledControls& e)
{
    return {
        {"exportAccountsFile", e.exportAccountsFile},   {"exportAccountsFilePick", e.exportAccountsFile},
        {"ldifFile", e.ldifFile},                       {"ldifFilePick", e.ldifFile},
        {"targetSubtree", e.ldifFile},                  {"translateAttributes", e.translateAttributesBox},
        {"attributeFile", e.attributeFile},             {"attributeFilePick", e.attributeFile},
        {"distListsScript", e.distListsScript},         {"distListsScriptPick", e.distListsScript},
        {"createAccounts", e.serverCommandBoxes},       {"copyMailboxes", e.serverCommandBoxes},
        {"importPasswords", e.serverCommandBoxes},      {"createGroups", e.serverCommandBoxes},
        {"createAliases", e.aliasBoxes},                {"reverseAliases", e.aliasBoxes},
        {"fixFolderNames", e.transferOptionBoxes},      {"ignoreErrors", e.transferOptionBoxes},
        {"skipImap", e.transferOptionBoxes},            {"resumeFromJournal", e.transferOptionBoxes},
        {"mailboxesAtOnce", e.transferOptionBoxes},     {"shardCount", e.transferOptionBoxes},
        {"shardIndex", e.shardIndex},                   {"journalFile", e.journalFile},
        {"journalFilePick", e.journalFile},             {"mapPublicFolders", e.publicFoldersBox},
        {"publicFoldersAccount", e.publicFoldersAccount}, {"importAccountsFile", e.importAccountsFile},
        {"importAccountsFilePick", e.importAccountsFile}, {"passwordDumpFile", e.passwordDumpFile},
        {"passwordDumpFilePick", e.passwordDumpFile},   {"groupsScript", e.groupsScript},
        {"groupsScriptPick", e.groupsScript},           {"localLog", e.localLog},
        {"exportAccounts", true},                       {"server", true},
        {"administratorPassword", true},                {"secureConnection", true},
    };
}

// Runs `handle` once on the modal window that the next action opens, as soon as it is up; does
// nothing more once it goes out of scope.
class WhenModalOpens {
public:
    explicit WhenModalOpens(std::function<void(QWidget*)> handle)
    {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this, handle] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible())
                return;
            timer_.stop();
            handle(modal);
        });
        timer_.start();
    }

private:
    QTimer timer_;
};

std::string OutputDirectory()
{
    std::filesystem::create_directories(EX2QLNUI_TEST_OUTPUT_DIR);
    return EX2QLNUI_TEST_OUTPUT_DIR;
}

} // namespace

class LauncherDialogTest : public QObject {
    Q_OBJECT

private:
    // Every test starts from an empty registry, no language file, and private runtime and state
    // directories of its own.
    TemporaryDirectory directory_;
    std::string runtime_ = directory_.File("runtime");
    ScopedEnvironment userRegistry_{"EX2QLN_USER_REGISTRY", directory_.File("user-registry.ini")};
    ScopedEnvironment machineRegistry_{"EX2QLN_MACHINE_REGISTRY", directory_.File("machine-registry.ini")};
    ScopedEnvironment config_{"XDG_CONFIG_HOME", directory_.File("config")};
    ScopedEnvironment runtimeVariable_{"XDG_RUNTIME_DIR", runtime_};
    ScopedEnvironment state_{"XDG_STATE_HOME", directory_.File("state")};
    std::unique_ptr<StandInUtility> standIn_;

    LaunchSetup Setup(bool terminal) const
    {
        return {standIn_->LauncherPath(), terminal ? std::optional(standIn_->AddTerminal()) : std::nullopt,
                directory_.File("state/ex2qln/ex2qln-output.log")};
    }

    LauncherChoices MigrationWithPassword() const
    {
        LauncherChoices choices;
        choices.profile = "Head Office";
        choices.exportAccounts = true;
        choices.server = "mail.example.com";
        choices.secureConnection = true;
        choices.administratorPassword = "pa\"ss word";
        choices.createAccounts = choices.createAliases = true;
        choices.copyMailboxes = choices.fixFolderNames = true;
        choices.journalFile = "run 1.journal";
        choices.mailboxesAtOnce = 4;
        choices.shardIndex = 2;
        choices.shardCount = 3;
        return choices;
    }

    // Processes `choices` and returns what the stand-in received.
    std::optional<UtilityRecord> Process(LauncherDialog& dialog)
    {
        QTest::mouseClick(DialogDriver(dialog).Find<QPushButton>("process"), Qt::LeftButton);
        if (dialog.result() != QDialog::Accepted || dialog.isVisible())
            return std::nullopt;
        return standIn_->WaitForRecord();
    }

    void CheckPasswordHandedOver(const UtilityRecord& record, const std::string& password)
    {
        for (const std::string& argument : record.arguments)
            QVERIFY2(argument.find(password) == std::string::npos, argument.c_str());
        QVERIFY(record.password);
        QCOMPARE(Q(*record.password), Q(password));
        QCOMPARE(Q(record.passwordFileMode), QStringLiteral("600"));
        QCOMPARE(Q(record.passwordFileDirectory), Q(runtime_));
        // The stand-in deleted it as ex2qln does; the launcher left nothing else.
        QVERIFY(std::filesystem::is_empty(runtime_));
    }

    // The arguments that `choices` stand for, with the password file the stand-in was given.
    static std::vector<std::string> ExpectedArguments(const LauncherChoices& choices, const UtilityRecord& record)
    {
        std::string passwordFile;
        for (const std::string& argument : record.arguments) {
            if (argument.rfind("--pwd-file=", 0) == 0)
                passwordFile = argument.substr(11);
        }
        return UtilityArguments(BuildCommandWords(choices), passwordFile);
    }

private slots:
    void init()
    {
        QVERIFY(!directory_.Path().empty());
        std::filesystem::remove_all(runtime_);
        QCOMPARE(::mkdir(runtime_.c_str(), 0700), 0);
        std::filesystem::remove_all(directory_.File("bin"));
        standIn_ = std::make_unique<StandInUtility>(directory_.File("bin"));
    }

    void commandLineAndEnabledControlsFollowTheRules()
    {
        for (const testing::CommandLineCase& example : testing::CommandLineCases()) {
            const LauncherChoices choices = testing::ChoicesOf(example);
            LauncherDialog dialog(Setup(true));
            dialog.show();
            DialogDriver driver(dialog);
            QVERIFY2(driver.Apply(choices), example.name);
            QVERIFY2(dialog.Choices() == choices, example.name);
            QCOMPARE(driver.CommandLine(), Q(example.commandLine));
            QCOMPARE(driver.Enabled("process"), example.processEnabled);
            for (const auto& [name, enabled] : ExpectedEnabled(EvaluateChoices(choices).enabled)) {
                if (driver.Enabled(name) != enabled)
                    QFAIL(qPrintable(QStringLiteral("%1: %2 should be %3")
                                         .arg(QString::fromLatin1(example.name), QString::fromLatin1(name),
                                              enabled ? QStringLiteral("enabled") : QStringLiteral("disabled"))));
            }
        }
    }

    void theDefaultsAndTheDesign()
    {
        LauncherDialog dialog(Setup(true));
        DialogDriver driver(dialog);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Quillon: Migration from Microsoft Exchange"));
        QCOMPARE(driver.Find<QWidget>("sourceGroup")->property("title").toString(),
                 QStringLiteral("Source Microsoft Exchange System"));
        QCOMPARE(driver.Find<QWidget>("targetGroup")->property("title").toString(),
                 QStringLiteral("Target Quillon System"));
        QCOMPARE(dialog.Choices(), LauncherChoices{});
        QCOMPARE(driver.Field("administratorPassword")->echoMode(), QLineEdit::Password);
        QVERIFY(driver.Find<QPlainTextEdit>("commandLine")->isReadOnly());
        QCOMPARE(driver.Find<QComboBox>("profile")->count(), 0);
        // A terminal window shows the output: no log to name.
        QVERIFY(!dialog.findChild<QLineEdit*>(QStringLiteral("outputLog")));
        // The transfer resumes from its journal, one mailbox at a time, all of them.
        QVERIFY(driver.Find<QCheckBox>("resumeFromJournal")->isChecked());
        struct Range {
            const char* name;
            int value;
            int most;
        };
        for (const Range& range : {Range{"mailboxesAtOnce", 1, 64}, Range{"shardIndex", 1, 1},
                                   Range{"shardCount", 1, kMostShards}}) {
            auto* box = driver.Find<QSpinBox>(range.name);
            QVERIFY2(box->value() == range.value && box->minimum() == 1 && box->maximum() == range.most, range.name);
        }
    }

    void theShareStaysWithinTheShards()
    {
        LauncherDialog dialog(Setup(true));
        dialog.show();
        DialogDriver driver(dialog);
        QVERIFY(driver.SetText("server", "mail.example.com") && driver.SetChecked("copyMailboxes", true));
        QVERIFY(driver.SetValue("shardCount", 3) && driver.SetValue("shardIndex", 3));
        auto* share = driver.Find<QSpinBox>("shardIndex");
        QCOMPARE(share->maximum(), 3);
        // A share past the shards cannot be typed in.
        share->selectAll();
        QTest::keyClicks(share, QStringLiteral("4"));
        QCOMPARE(share->value(), 3);
        QVERIFY(driver.SetValue("shardCount", 2));
        QCOMPARE(share->value(), 2);
        QVERIFY(driver.CommandLine().contains(QStringLiteral(" --shard=2/2 ")));
        QVERIFY(driver.SetValue("shardCount", 1));
        QCOMPARE(share->value(), 1);
        QVERIFY(!share->isEnabled());
        QVERIFY(!driver.CommandLine().contains(QStringLiteral("--shard")));
    }

    void anEmptyJournalFieldShowsTheJournalBesideTheAccountsFile()
    {
        LauncherDialog dialog(Setup(true));
        dialog.show();
        DialogDriver driver(dialog);
        QVERIFY(driver.SetText("server", "mail.example.com") && driver.SetChecked("copyMailboxes", true));
        QCOMPARE(driver.Field("journalFile")->placeholderText(), QStringLiteral("accounts.csv.journal"));
        QVERIFY(driver.SetChecked("exportAccounts", true) && driver.SetText("exportAccountsFile", "export.csv"));
        QCOMPARE(driver.Field("journalFile")->placeholderText(), QStringLiteral("export.csv.journal"));
    }

    void theProfilesComeFromTheRegistry()
    {
        const std::string key = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
        std::ofstream(directory_.File("user-registry.ini"))
            << "[" << key << "]\n\"DefaultProfile\"=\"Head Office\"\n[" << key << "\\Head Office]\n[" << key
            << "\\archive]\n";
        LauncherDialog dialog(Setup(true));
        auto* profile = DialogDriver(dialog).Find<QComboBox>("profile");
        QCOMPARE(profile->count(), 2);
        QCOMPARE(profile->itemText(0), QStringLiteral("archive"));
        QCOMPARE(profile->itemText(1), QStringLiteral("Head Office"));
        // None is chosen: ex2qln takes the default profile.
        QCOMPARE(profile->currentText(), QString());
        profile->setCurrentIndex(1);
        DialogDriver(dialog).SetChecked("exportAccounts", true);
        QCOMPARE(DialogDriver(dialog).CommandLine(),
                 QStringLiteral("ex2qln mailboxes --profile=\"Head Office\" --accounts=\"accounts.csv\""));
        std::filesystem::remove(directory_.File("user-registry.ini"));
    }

    void theTextsComeFromTheLanguageFile()
    {
        struct Case {
            const char* name;
            std::string section;
            QString title;
            QString serverLabel;
            QString processButton;
        };
        const Case cases[] = {
            {"a title and two controls", "0=Quillon: Migration aus Microsoft Exchange\n1011=Server (Name):\n1=Starten\n",
             QStringLiteral("Quillon: Migration aus Microsoft Exchange"), QStringLiteral("Server (Name):"),
             QStringLiteral("Starten")},
            {"without a title nothing changes", "1011=Server (Name):\n1=Starten\n",
             QStringLiteral("Quillon: Migration from Microsoft Exchange"), QStringLiteral("Server:"),
             QStringLiteral("Process")},
        };
        std::filesystem::create_directories(directory_.File("config/ex2qln"));
        for (const Case& example : cases) {
            std::ofstream(directory_.File("config/ex2qln/qlnconn32.ini"))
                << "[Language]\nLanguageId=0407\n[Dialog_102_0407]\n" << example.section;
            ex2qln::diag::ResetTextLanguageForTesting();
            LauncherDialog dialog(Setup(true));
            DialogDriver driver(dialog);
            QCOMPARE(dialog.windowTitle(), example.title);
            QLabel* serverLabel = nullptr;
            for (QLabel* label : dialog.findChildren<QLabel*>()) {
                if (label->buddy() == driver.Field("server"))
                    serverLabel = label;
            }
            QVERIFY2(serverLabel, example.name);
            QCOMPARE(serverLabel->text(), example.serverLabel);
            QCOMPARE(driver.Find<QPushButton>("process")->text(), example.processButton);
        }
        std::filesystem::remove_all(directory_.File("config"));
        ex2qln::diag::ResetTextLanguageForTesting();
    }

    void theFilePickersFillTheirFields()
    {
        LauncherDialog dialog(Setup(true));
        dialog.show();
        DialogDriver driver(dialog);
        const std::string existing = directory_.File("users.csv");
        std::ofstream(existing) << "account,dn,mailbox\r\n";
        struct Case {
            bool exportAccounts;  // the import field is usable only without the export
            const char* button;
            const char* field;
            QFileDialog::AcceptMode mode;
            QFileDialog::FileMode files;
            std::string startsFrom;
            std::string chosen;
        };
        const Case cases[] = {
            {false, "importAccountsFilePick", "importAccountsFile", QFileDialog::AcceptOpen, QFileDialog::ExistingFile,
             QDir::current().filePath(QStringLiteral("accounts.csv")).toStdString(), existing},
            {true, "exportAccountsFilePick", "exportAccountsFile", QFileDialog::AcceptSave,
             QFileDialog::AnyFile, directory_.File("old.csv"), directory_.File("new.csv")},
            {false, "journalFilePick", "journalFile", QFileDialog::AcceptSave, QFileDialog::AnyFile,
             directory_.File("old.journal"), directory_.File("new.journal")},
        };
        QVERIFY(driver.SetText("server", "mail") && driver.SetChecked("copyMailboxes", true));
        for (const Case& example : cases) {
            QVERIFY(driver.SetChecked("exportAccounts", example.exportAccounts));
            if (example.mode == QFileDialog::AcceptSave)
                QVERIFY(driver.SetText(example.field, example.startsFrom));
            bool seen = false;
            WhenModalOpens picking([&](QWidget* modal) {
                auto* picker = qobject_cast<QFileDialog*>(modal);
                auto* name = picker ? picker->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
                if (!name) {
                    modal->close();
                    return;
                }
                seen = picker->acceptMode() == example.mode && picker->fileMode() == example.files &&
                       picker->nameFilters() == QStringList{QStringLiteral("All Files (*)")} &&
                       picker->selectedFiles().value(0) == Q(example.startsFrom);
                if (!seen)
                    qWarning() << example.button << picker->acceptMode() << picker->fileMode()
                               << picker->nameFilters() << picker->selectedFiles();
                // The user's choice goes into the picker's file name field; accepting it through
                // QDialog runs the picker's own checks, as its button does.
                name->setText(Q(example.chosen));
                static_cast<QDialog*>(picker)->accept();
            });
            QVERIFY2(driver.Find<QPushButton>(example.button)->isEnabled(), example.button);
            QTest::mouseClick(driver.Find<QPushButton>(example.button), Qt::LeftButton);
            QVERIFY2(seen, example.button);
            QCOMPARE(driver.Field(example.field)->text(), Q(example.chosen));
        }
    }

    void processStartsEx2qlnInATerminalWindow()
    {
        LauncherDialog dialog(Setup(true));
        dialog.show();
        DialogDriver driver(dialog);
        const LauncherChoices choices = MigrationWithPassword();
        QVERIFY(driver.Apply(choices));
        QVERIFY(!driver.CommandLine().contains(Q(choices.administratorPassword)));
        QVERIFY(driver.CommandLine().endsWith(QStringLiteral("--pwd=\"********\"")));
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(dialog.grab().save(Q(OutputDirectory() + "/launcher-dialog.png")));

        std::optional<UtilityRecord> record = Process(dialog);
        QVERIFY(record);
        QCOMPARE(Q(record->arguments), Q(ExpectedArguments(choices, *record)));
        QCOMPARE(Q(record->arguments.back()), QStringLiteral("--wait"));
        CheckPasswordHandedOver(*record, choices.administratorPassword);
        std::vector<std::string> terminal = {"-e", standIn_->UtilityPath()};
        terminal.insert(terminal.end(), record->arguments.begin(), record->arguments.end());
        QCOMPARE(Q(standIn_->TerminalArguments()), Q(terminal));
    }

    void withoutATerminalTheOutputGoesToTheNamedLog()
    {
        LauncherDialog dialog(Setup(false));
        dialog.show();
        DialogDriver driver(dialog);
        const std::string log = directory_.File("state/ex2qln/ex2qln-output.log");
        QCOMPARE(driver.Field("outputLog")->text(), Q(log));
        const LauncherChoices choices = MigrationWithPassword();
        QVERIFY(driver.Apply(choices));
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(dialog.grab().save(Q(OutputDirectory() + "/launcher-dialog-without-terminal.png")));

        std::optional<UtilityRecord> record = Process(dialog);
        QVERIFY(record);
        QCOMPARE(Q(record->arguments), Q(ExpectedArguments(choices, *record)));
        CheckPasswordHandedOver(*record, choices.administratorPassword);
        const std::string output = ReadFile(log);
        const std::string header = "==== ";
        const std::string rest = " " + DisplayCommandLine(BuildCommandWords(choices)) + "\nstand-in ex2qln ran\n";
        QVERIFY2(output.rfind(header, 0) == 0 && output.size() == header.size() + 19 + rest.size() &&
                     output.substr(header.size() + 19) == rest,
                 output.c_str());
    }

    void aLauncherNotEndingInUiReportsTheFailure()
    {
        LaunchSetup setup = Setup(true);
        setup.launcherPath = directory_.File("bin/launcher");
        LauncherDialog dialog(setup);
        dialog.show();
        DialogDriver driver(dialog);
        QVERIFY(driver.Apply(MigrationWithPassword()));
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        WhenModalOpens answering([&](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                title = box->windowTitle();
                text = box->text();
                icon = box->icon();
            }
            modal->close();
        });
        QTest::mouseClick(driver.Find<QPushButton>("process"), Qt::LeftButton);
        QCOMPARE(title, QStringLiteral("Quillon Server Migration Utility"));
        QCOMPARE(text, QStringLiteral("Can not launch utility application"));
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!standIn_->Ran());
        QVERIFY(std::filesystem::is_empty(runtime_));
    }

    void cancelStartsNothing()
    {
        LauncherDialog dialog(Setup(true));
        dialog.show();
        DialogDriver driver(dialog);
        QVERIFY(driver.Apply(MigrationWithPassword()));
        QTest::mouseClick(driver.Find<QPushButton>("cancel"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
        QTest::qWait(200);
        QVERIFY(!standIn_->Ran());
    }
};

} // namespace ex2qlnui

QTEST_MAIN(ex2qlnui::LauncherDialogTest)
#include "LauncherDialogTest.moc"
