#include "FinalPage.h"

FinalPage::FinalPage(QWidget* parent)
    : QWizardPage(parent)
{
    m_messageLabel.setWordWrap(true);
    m_messageLabel.setText(QStringLiteral("The Uninstaller Wizard has successfully removed Tallowmere 5.4.1 from your "
                                          "system. Click done to exit the wizard."));

    m_layout.addWidget(&m_messageLabel);
    m_layout.addWidget(&m_emptyLabel);
    setLayout(&m_layout);
}

int FinalPage::nextId() const
{
    return -1; // a last page: the wizard offers Done
}
