#pragma once

#include <QWizard>

// The wizard window: fixed size, Mac wizard style with the background image,
// and the seven pages registered under their page ids.
class UninstallWizard : public QWizard {
    Q_OBJECT

public:
    UninstallWizard();
};
