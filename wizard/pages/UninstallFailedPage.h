#pragma once

#include <QLabel>
#include <QVBoxLayout>
#include <QWizardPage>

// Page 5. Last page after a removal run that could not remove everything.
class UninstallFailedPage : public QWizardPage {
public:
    explicit UninstallFailedPage(QWidget* parent);

    int nextId() const override;

private:
    QVBoxLayout m_layout;
    QLabel m_messageLabel;
    QLabel m_emptyLabel; // holds the message at the top; never gets a text
};
