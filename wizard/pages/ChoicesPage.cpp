#include "ChoicesPage.h"

ChoicesPage::ChoicesPage(QWidget* parent)
    : QWizardPage(parent)
    , m_introLabel(QString())
{
    // No property or signal given: the wizard's default for check boxes
    // ("checked", toggled(bool)) applies. Going back to the welcome page
    // resets both fields to their first values (checked), since the page
    // keeps the wizard's default clean-up.
    registerField(kUserSettingChoiceField, &m_userSettingsBox);
    registerField(kExternaDataHomeChoiceField, &m_externalDataHomeBox);

    m_introLabel.setText(
        QStringLiteral("The following items will also be removed. Please uncheck anything you wish to retain "
                       "then click <b>Continue</b> to proceed."));
    m_introLabel.setWordWrap(true);

    m_userSettingsBox.setText(QStringLiteral("User Settings including Preferences and Templates"));
    m_externalDataHomeBox.setText(
        QStringLiteral("External Data Home\n (uncheck to save any results in your Documents/Nordaxis folder)"));

    m_userSettingsBox.setChecked(true);
    m_externalDataHomeBox.setChecked(true);

    m_layout.addWidget(&m_introLabel);
    m_layout.addWidget(&m_userSettingsBox);
    m_layout.addWidget(&m_externalDataHomeBox);
    setLayout(&m_layout);
}
