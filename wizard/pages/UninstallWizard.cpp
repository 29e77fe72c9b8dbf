#include "UninstallWizard.h"

#include <QAbstractButton>
#include <QLayout>
#include <QPixmap>

#include <algorithm>
#include <utility>

#include "ChoicesPage.h"
#include "ConfirmPage.h"
#include "FinalPage.h"
#include "ProgressPage.h"
#include "TallowmereRunningPage.h"
#include "UninstallFailedPage.h"
#include "WelcomePage.h"

namespace {

const QSize kDesignedSize(700, 400);

// The pages are made for the designed size at a desktop's usual font. With a
// larger font their lines would be cut; then the fixed size grows to the
// widest line that cannot wrap and to the tallest page at that width, the same
// for every page. The room the wizard leaves around a page is known only once
// it has laid itself out for a page, so this runs when a page is shown.
void growToFitPages(QWizard& wizard)
{
    QWizardPage* shown = wizard.currentPage();
    if (!shown)
        return;
    // Each page stands in the wizard's page frame, inside the frame's layout,
    // which the wizard's inner widget lays out over the whole window. Laid out
    // now for the window's size: before the window first shows it has not been.
    QWidget* frame = shown->parentWidget();
    QWidget* inner = frame ? frame->parentWidget() : nullptr;
    if (!inner || !inner->layout() || !frame->layout())
        return;
    inner->layout()->setGeometry(QRect(QPoint(), wizard.size()));
    const QRect area = frame->contentsRect().marginsRemoved(frame->layout()->contentsMargins());
    const QSize around = wizard.size() - area.size();

    int width = kDesignedSize.width();
    for (int id : wizard.pageIds())
        width = std::max(width, around.width() + wizard.page(id)->minimumSizeHint().width());
    const int pageWidth = width - around.width();
    int height = kDesignedSize.height();
    for (int id : wizard.pageIds()) {
        const QWizardPage* page = wizard.page(id);
        const int needed = std::max(page->heightForWidth(pageWidth), page->minimumSizeHint().height());
        height = std::max(height, around.height() + needed);
    }
    if (wizard.size() != QSize(width, height))
        wizard.setFixedSize(width, height);
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
    // Grows the fixed size where a larger desktop font needs it.
    connect(this, &QWizard::currentIdChanged, this, [this] { growToFitPages(*this); });
    setStartId(WelcomePageId);

    setOption(QWizard::HaveHelpButton, false);
    setOption(QWizard::NoBackButtonOnStartPage, true);
    setOption(QWizard::DisabledBackButtonOnLastPage, true);

    setWindowTitle(QStringLiteral("Tallowmere 5.4.1 Uninstall Wizard"));
}
