#pragma once

#include <QLabel>
#include <QVBoxLayout>
#include <QWizardPage>

#include "WizardOperations.h"

// Page 2, the last chance to turn back. Its Next button reads "Remove"; it
// leads to the product-running page while the product runs, else to the run.
class ConfirmPage : public QWizardPage {
public:
    ConfirmPage(QWidget* parent, RunningCheck isTallowmereRunning);

    int nextId() const override;

private:
    QVBoxLayout m_layout;
    QLabel m_warningLabel;
    RunningCheck m_isTallowmereRunning;
};
