#include "UninstallWizard.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QIcon>
#include <QPixmap>

#include <utility>

#include "ChoicesPage.h"
#include "ConfirmPage.h"
#include "FinalPage.h"
#include "ProgressPage.h"
#include "TallowmereRunningPage.h"
#include "UninstallFailedPage.h"
#include "WelcomePage.h"
#include "WindowFit.h"

namespace {

const QSize kDesignedSize(700, 400);

// The application icon from the bundle's resources, at every size drawn, so
// that the desktop shows the window with the icon of its entry. Outside a
// bundle (tests) there is none, and the platform's default stays.
QIcon bundleIcon()
{
    QIcon icon;
    const QDir resources(QCoreApplication::applicationDirPath() + QStringLiteral("/../Resources"));
    for (const QString& name : resources.entryList({ QStringLiteral("AppIcon-*.png") }, QDir::Files))
        icon.addFile(resources.filePath(name));
    return icon;
}

} // namespace

UninstallWizard::UninstallWizard(RemovalJob removalJob, RunningCheck isTallowmereRunning)
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

    setPage(WelcomePageId, new WelcomePage(this));
    setPage(ChoicesPageId, new ChoicesPage(this));
    setPage(ConfirmPageId, new ConfirmPage(this, isTallowmereRunning));
    setPage(TallowmereRunningPageId, new TallowmereRunningPage(this, std::move(isTallowmereRunning)));
    setPage(ProgressPageId, new ProgressPage(this, std::move(removalJob)));
    setPage(FinalPageId, new FinalPage(this));
    setPage(UninstallFailedPageId, new UninstallFailedPage(this));

    // Tab goes through the buttons in the order they stand, Cancel on the
    // left first; the wizard made them in another order.
    setTabOrder(button(QWizard::CancelButton), button(QWizard::BackButton));
    setTabOrder(button(QWizard::BackButton), button(QWizard::NextButton));
    setTabOrder(button(QWizard::NextButton), button(QWizard::FinishButton));

    setFixedSize(kDesignedSize);
    // Grows the fixed size where a larger desktop font needs it, within the
    // screen.
    fitWindowToPagesAndScreen(*this, kDesignedSize);
    setStartId(WelcomePageId);

    setOption(QWizard::HaveHelpButton, false);
    setOption(QWizard::NoBackButtonOnStartPage, true);
    setOption(QWizard::DisabledBackButtonOnLastPage, true);

    setWindowTitle(QStringLiteral("Tallowmere 5.4.1 Uninstall Wizard"));
    setWindowIcon(bundleIcon());
}
