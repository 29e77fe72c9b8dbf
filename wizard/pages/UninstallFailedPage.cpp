#include "UninstallFailedPage.h"

UninstallFailedPage::UninstallFailedPage(QWidget* parent)
    : QWizardPage(parent)
{
    m_messageLabel.setWordWrap(true);
    m_messageLabel.setText(
        QStringLiteral("Something prevented the Tallowmere Uninstall Wizard from deleting one or more "
                       "items.<br/><br/>Please make sure that you have closed everything and then re-run the wizard."));

    m_layout.addWidget(&m_messageLabel);
    m_layout.addWidget(&m_emptyLabel);
    setLayout(&m_layout);
}

int UninstallFailedPage::nextId() const
{
    return -1; // a last page: the wizard offers Done
}
