#pragma once

#include <QLabel>
#include <QVBoxLayout>
#include <QWizardPage>

#include "RemovalJobResult.h"
#include "WizardOperations.h"

// Page 4: turns the choices into the choice mask, runs the privileged removal
// job shortly after it is shown and moves the wizard on by its result. No
// button on this page does anything: only the end of the run moves on.
class ProgressPage : public QWizardPage {
    Q_OBJECT

public:
    ProgressPage(QWidget* parent, RemovalJob removalJob);

    void initializePage() override;
    bool isComplete() const override;
    int nextId() const override;

public slots:
    void runUninstaller();

private:
    QVBoxLayout m_layout;
    QLabel m_messageLabel;
    QLabel m_emptyLabel; // holds the message at the top; never gets a text
    int m_choiceMask;
    RemovalJobResult m_removalResult;
    RemovalJob m_removalJob;
};
