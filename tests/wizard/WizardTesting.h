#pragma once

#include <QAbstractButton>
#include <QCheckBox>
#include <QFont>
#include <QProcessEnvironment>
#include <QStringList>
#include <QWizard>

#include <string>

// Helpers for tests that drive the real wizard on the offscreen platform.
namespace wizardtesting {

// The one application object of a test program, on the offscreen platform,
// with the desktop's default font.
void ensureApplication();

// The font that a Linux desktop gives Qt programs unless told otherwise.
QFont desktopFont();

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

struct ProgramRun {
    int exitCode = -1; // -1 when the program crashed or could not start
    std::string out;
    std::string err;
};

// Runs a program to its end with the environment given and collects its
// output; its standard input is empty.
ProgramRun runProgram(const QString& program, const QStringList& arguments,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

// An environment for child processes: this one with `home`, the offscreen
// platform and a private runtime folder (so Qt has nothing to warn about).
QProcessEnvironment childEnvironment(const QString& home, const QString& runtimeFolder);

} // namespace wizardtesting
