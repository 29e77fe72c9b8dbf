#include "ConfirmPage.h"

#include <QWizard>

#include <utility>

#include "UninstallWizard.h"

ConfirmPage::ConfirmPage(QWidget* parent, RunningCheck isTallowmereRunning)
    : QWizardPage(parent)
    , m_isTallowmereRunning(std::move(isTallowmereRunning))
{
    m_warningLabel.setWordWrap(true);
    m_warningLabel.setText(
        QStringLiteral("Note, if you proceed with removing Tallowmere you will not be able to undo this action."
                       "<br/><br/>"
                       "If you wish to review your options please click the <b>Go Back</b> button.  "
                       "If you do not wish to proceed please click <b>Cancel</b>."
                       "<br/><br/>"
                       "Click <b>Remove</b> to completely remove Tallowmere 5.4.1 from your computer.  "
                       "After removal this program will no longer be available."));

    m_layout.addWidget(&m_warningLabel);
    setLayout(&m_layout);

    setButtonText(QWizard::NextButton, QStringLiteral("Remove"));
}

int ConfirmPage::nextId() const
{
    // Asked anew every time the wizard asks, never remembered.
    return m_isTallowmereRunning() ? UninstallWizard::TallowmereRunningPageId : UninstallWizard::ProgressPageId;
}
