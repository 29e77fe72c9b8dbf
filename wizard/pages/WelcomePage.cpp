#include "WelcomePage.h"

WelcomePage::WelcomePage(QWidget* parent)
    : QWizardPage(parent)
    , m_greetingLabel(QStringLiteral("Welcome to the Tallowmere 5.4.1 Uninstall Wizard."))
    , m_promptLabel(QStringLiteral("To continue, click <b>Continue</b>."))
{
    m_descriptionLabel.setText(QStringLiteral(
        "This Uninstall Wizard will allow you to completely remove Tallowmere 5.4.1 from your computer."));
    m_descriptionLabel.setWordWrap(true);

    m_layout.addWidget(&m_greetingLabel);
    m_layout.addWidget(&m_descriptionLabel);
    m_layout.addWidget(&m_promptLabel);
    setLayout(&m_layout);
}
