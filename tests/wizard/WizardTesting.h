#pragma once

#include <QAbstractButton>
#include <QCheckBox>
#include <QWizard>

#include <string>

// Helpers for tests that drive the real wizard on the offscreen platform.
namespace wizardtesting {

// The one application object of a test program, on the offscreen platform.
void ensureApplication();

// Clicks a wizard button with the mouse, as a user would; the button must be
// shown and enabled, else the test fails (returns false).
bool click(QWizard& wizard, QWizard::WizardButton which);

// Runs the event loop until the wizard shows the page or the time is up.
bool waitForPage(QWizard& wizard, int id, int timeoutMs = 10000);

// The choices page's boxes, found by the start of their texts.
QCheckBox* userSettingsBox(QWizard& wizard);
QCheckBox* externalDataHomeBox(QWizard& wizard);

// Toggles a check box with the space key, as a user would.
void toggle(QCheckBox* box);

// An environment for child processes: this one plus the offscreen platform
// and a private runtime folder (so Qt has nothing to warn about).
std::vector<std::string> childEnvironment(const std::string& home, const std::string& runtimeFolder);

}  // namespace wizardtesting
