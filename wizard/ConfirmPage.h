#pragma once

#include <QLabel>
#include <QVBoxLayout>
#include <QWizardPage>

// Page 2, the last chance to turn back. Its Next button reads "Remove"; it
// leads to the product-running page while the product runs, else to the run.
class ConfirmPage : public QWizardPage {
public:
    explicit ConfirmPage(QWidget* parent);

    int nextId() const override;

private:
    QVBoxLayout m_layout;
    QLabel m_warningLabel;
};
