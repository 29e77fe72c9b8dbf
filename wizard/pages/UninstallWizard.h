#pragma once

#include <QWizard>

#include "WizardOperations.h"

// The wizard window: fixed size, Mac wizard style with the background image,
// and the seven pages registered under their page ids.
class UninstallWizard : public QWizard {
    Q_OBJECT

public:
    // Fixed: the pages' own nextId names them.
    enum PageId {
        WelcomePageId = 0,
        ChoicesPageId = 1,
        ConfirmPageId = 2,
        TallowmereRunningPageId = 3,
        ProgressPageId = 4,
        UninstallFailedPageId = 5,
        FinalPageId = 6,
    };

    UninstallWizard(RemovalJob removalJob, RunningCheck isTallowmereRunning);
};
