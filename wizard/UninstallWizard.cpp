#include "UninstallWizard.h"

#include <QAbstractButton>
#include <QPixmap>

#include "ChoicesPage.h"
#include "ConfirmPage.h"
#include "FinalPage.h"
#include "ProgressPage.h"
#include "TallowmereRunningPage.h"
#include "UninstallFailedPage.h"
#include "WelcomePage.h"

UninstallWizard::UninstallWizard()
    : QWizard(nullptr, Qt::WindowFlags())
{
    // The collection lives in a static library; asking for it here keeps the
    // linker from dropping it. Registering twice is harmless.
    Q_INIT_RESOURCE(TallowmereUninstallWizardResources);

    setWizardStyle(QWizard::MacStyle);
    setPixmap(QWizard::BackgroundPixmap,
              QPixmap(QStringLiteral(":/TallowmereUninstallWizardResources/TallowmereUninstallWizardWatermark.png")));
    setWindowFlags(Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint);

    // Every option is set explicitly: the platforms start from different defaults.
    setOption(QWizard::NoCancelButton, false);
    setOption(QWizard::CancelButtonOnLeft, true);
    setOption(QWizard::NoDefaultButton, false);

    button(QWizard::NextButton)->setFocusPolicy(Qt::StrongFocus);

    setPage(0, new WelcomePage(this));
    setPage(1, new ChoicesPage(this));
    setPage(2, new ConfirmPage(this));
    setPage(3, new TallowmereRunningPage(this));
    setPage(4, new ProgressPage(this));
    setPage(6, new FinalPage(this));
    setPage(5, new UninstallFailedPage(this));

    setFixedSize(700, 400);
    setStartId(0);

    setOption(QWizard::HaveHelpButton, false);
    setOption(QWizard::NoBackButtonOnStartPage, true);
    setOption(QWizard::DisabledBackButtonOnLastPage, true);

    setWindowTitle(QStringLiteral("Tallowmere 5.4.1 Uninstall Wizard"));
}
