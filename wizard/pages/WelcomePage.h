#pragma once

#include <QLabel>
#include <QVBoxLayout>
#include <QWizardPage>

// Page 0, the start page. Continue leads to the choices page.
class WelcomePage : public QWizardPage {
public:
    explicit WelcomePage(QWidget* parent);

private:
    QVBoxLayout m_layout;
    QLabel m_greetingLabel;
    QLabel m_descriptionLabel;
    QLabel m_promptLabel;
};
