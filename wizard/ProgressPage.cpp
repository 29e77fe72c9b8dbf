#include "ProgressPage.h"

#include <QTimer>
#include <QVariant>
#include <QWizard>

#include <cstdio>
#include <cstdlib>

#include "AuthorizeHelperTool.h"
#include "FrozenWindowInput.h"

namespace {

const int kUserSettingsBit = 2;
const int kExternalDataHomeBit = 4;

// Authorisation refused or the job not accepted: the user asked for nothing
// more, so the program simply ends. This runs deep inside QWizard::next(),
// with the wizard and the QApplication alive on main's stack. std::exit would
// run the static destructors and atexit handlers of Qt and its platform plugin
// while those objects (and any threads of the plugin) still use them; so the
// process ends here without running any of them, after flushing what the
// program has written. Nothing on disk waits for an orderly shutdown.
[[noreturn]] void endProgramAtOnce()
{
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace

ProgressPage::ProgressPage(QWidget* parent)
    : QWizardPage(parent)
    , m_choiceMask(0)
    , m_removalResult(-1)
{
    m_messageLabel.setWordWrap(true);
    m_messageLabel.setText(
        QStringLiteral("The Uninstaller Wizard is busy removing Tallowmere 5.4.1.<br/><br/>Please be patient."));

    m_layout.addWidget(&m_messageLabel);
    m_layout.addWidget(&m_secondLabel);
    setLayout(&m_layout);
}

void ProgressPage::initializePage()
{
    // The option belongs to the wizard, so Cancel stays hidden on the pages
    // after this one too: once the run has started there is nothing to cancel.
    wizard()->setOption(QWizard::NoCancelButton, true);

    m_choiceMask = 0;
    if (field(QStringLiteral("UserSettingChoice")).toBool())
        m_choiceMask += kUserSettingsBit;
    if (field(QStringLiteral("ExternaDataHomeChoice")).toBool())
        m_choiceMask += kExternalDataHomeBit;

    // Let the wizard show this page before the run blocks the GUI thread.
    QTimer::singleShot(50, this, SLOT(runUninstaller()));
}

bool ProgressPage::isComplete() const
{
    return false;
}

int ProgressPage::nextId() const
{
    switch (m_removalResult) {
    case -1:
        // The wizard asks already when it switches to this page; no run has
        // returned then, and the page counts as a last page.
        return -1;
    case 0:
        endProgramAtOnce();
    case 1:
        return 5; // UninstallFailedPage
    default:
        return 6; // FinalPage
    }
}

void ProgressPage::runUninstaller()
{
    m_removalResult = authorizeHelperTool(m_choiceMask);
    // A Return or a click given to the frozen window must not dismiss the
    // result page before the user has seen it.
    discardInputGivenWhileFrozen();
    wizard()->next();
}
