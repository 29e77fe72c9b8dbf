#include "TallowmereRunningPage.h"

#include <utility>

#include "UninstallWizard.h"

TallowmereRunningPage::TallowmereRunningPage(QWidget* parent, RunningCheck isTallowmereRunning)
    : QWizardPage(parent)
    , m_isTallowmereRunning(std::move(isTallowmereRunning))
{
    m_messageLabel.setWordWrap(true);
    m_messageLabel.setText(
        QStringLiteral("The Uninstaller cannot run while Tallowmere is still in use. <br/><br/>Please quit Tallowmere, "
                       "then click the Continue button to complete the uninstallation."));

    m_layout.addWidget(&m_messageLabel);
    m_layout.addWidget(&m_emptyLabel);
    setLayout(&m_layout);
}

int TallowmereRunningPage::nextId() const
{
    // Asked anew every time: the user may quit the product while this page is up.
    return m_isTallowmereRunning() ? UninstallWizard::TallowmereRunningPageId : UninstallWizard::ProgressPageId;
}
