#include <QApplication>

#include "AuthorizeHelperTool.h"
#include "TallowmereRunning.h"
#include "UninstallWizard.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    UninstallWizard wizard(authorizeHelperTool, checkIfTallowmereIsRunning);
    wizard.show();
    return application.exec();
}
