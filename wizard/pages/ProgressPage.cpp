#include "ProgressPage.h"

#include <QTimer>
#include <QVariant>
#include <QWizard>

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "ChoiceBits.h"
#include "ChoicesPage.h"
#include "UninstallWizard.h"
#include "WindowAliveDuringRun.h"

namespace {

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

ProgressPage::ProgressPage(QWidget* parent, RemovalJob removalJob)
    : QWizardPage(parent)
    , m_choiceMask(0)
    , m_removalResult(RemovalJobResult::NoRunYet)
    , m_removalJob(std::move(removalJob))
{
    m_messageLabel.setWordWrap(true);
    m_messageLabel.setText(
        QStringLiteral("The Uninstaller Wizard is busy removing Tallowmere 5.4.1.<br/><br/>Please be patient."));

    m_layout.addWidget(&m_messageLabel);
    m_layout.addWidget(&m_emptyLabel);
    setLayout(&m_layout);
}

void ProgressPage::initializePage()
{
    // The option belongs to the wizard, so Cancel stays hidden on the pages
    // after this one too: once the run has started there is nothing to cancel.
    wizard()->setOption(QWizard::NoCancelButton, true);

    m_choiceMask = 0;
    if (field(kUserSettingChoiceField).toBool())
        m_choiceMask += remover::UserSettingsChoiceBit;
    if (field(kExternaDataHomeChoiceField).toBool())
        m_choiceMask += remover::ExternalDataHomeChoiceBit;

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
    case RemovalJobResult::NoRunYet:
        // The wizard asks already when it switches to this page; no run has
        // returned then, and the page counts as a last page.
        return -1;
    case RemovalJobResult::NotAuthorized:
        endProgramAtOnce();
    case RemovalJobResult::Failed:
        return UninstallWizard::UninstallFailedPageId;
    case RemovalJobResult::Succeeded:
        break;
    }
    // A job that gives any other number has not failed.
    return UninstallWizard::FinalPageId;
}

void ProgressPage::runUninstaller()
{
    {
        // The run holds the GUI thread; while the job waits, the window is
        // still painted and answers the desktop, but takes no input.
        const WindowAliveDuringRun alive;
        m_removalResult = static_cast<RemovalJobResult>(m_removalJob(m_choiceMask));
    }
    // A Return or a click given during the run must not dismiss the result
    // page before the user has seen it.
    discardInputGivenWhileFrozen();
    wizard()->next();
    // Nor may a close request given meanwhile that the window manager passes
    // on only now, or later still.
    refuseCloseRequestsGivenBeforeNow(*wizard());
}
