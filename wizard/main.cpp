#include <QApplication>

#include "UninstallWizard.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    UninstallWizard wizard;
    wizard.show();
    return application.exec();
}
