#pragma once

#include <QLabel>
#include <QVBoxLayout>
#include <QWizardPage>

// Page 6. Last page after a successful removal run.
class FinalPage : public QWizardPage {
public:
    explicit FinalPage(QWidget* parent);

    int nextId() const override;

private:
    QVBoxLayout m_layout;
    QLabel m_messageLabel;
    QLabel m_emptyLabel; // holds the message at the top; never gets a text
};
