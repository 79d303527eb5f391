// Entry point of ex2qlnui: the launcher dialog, then at most one start of ex2qln, then exit.
#include "ex2qlnui/LauncherDialog.h"
#include "ex2qlnui/UtilityLaunch.h"

#include <QApplication>

#include "Version.h"

int main(int argc, char** argv)
{
    if (ex2qln::version::AnswerVersionRequest(argc, argv, "ex2qlnui"))
        return 0;
    QApplication application(argc, argv);
    ex2qlnui::LauncherDialog dialog(
        ex2qlnui::DefaultLaunchSetup(QCoreApplication::applicationFilePath().toStdString()));
    dialog.exec();
    // Cancel, closing the dialog and "Process" all end the launcher with status 0; a start that
    // failed has been reported in a message box.
    return 0;
}
