#pragma once

#include <QLabel>
#include <QVBoxLayout>
#include <QWizardPage>

#include "WizardOperations.h"

// Page 3. Shown while the product runs; Continue stays here until it has quit.
class TallowmereRunningPage : public QWizardPage {
public:
    TallowmereRunningPage(QWidget* parent, RunningCheck isTallowmereRunning);

    int nextId() const override;

private:
    QVBoxLayout m_layout;
    QLabel m_messageLabel;
    QLabel m_emptyLabel; // holds the message at the top; never gets a text
    RunningCheck m_isTallowmereRunning;
};
