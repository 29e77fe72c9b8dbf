#pragma once

#include <QObject>
#include <QWidget>

#include <memory>

#include "JobPause.h"

// Keeps the window alive while the removal run holds the GUI thread, for as
// long as it exists: the job's waits go on processing paint, timer and window
// system events (so the window is redrawn and answers the desktop's "still
// responding?" ping), but never user input. Keys, clicks and the window
// manager's close request given meanwhile are held back, or dropped where
// they arrive, and act on nothing: the run cannot be cut short or its page
// left from the window.
class WindowAliveDuringRun {
public:
    WindowAliveDuringRun();
    ~WindowAliveDuringRun();
    WindowAliveDuringRun(const WindowAliveDuringRun&) = delete;
    WindowAliveDuringRun& operator=(const WindowAliveDuringRun&) = delete;

private:
    JobPause m_previousPause;
    std::unique_ptr<QObject> m_inputDropper;
};

// Passes the time processing every event but user input; returns no sooner
// than `seconds` after it was called. The pause the run sets for the job.
void processWindowEventsFor(double seconds);

// The window system keeps the keys, clicks and close requests that the user
// gives the window during the run. Delivered afterwards they would act on
// whatever page is shown by then, which the user has not even seen yet; so
// this takes in everything that is waiting and drops the user's input. Paint
// and all other events are delivered as usual.
void discardInputGivenWhileFrozen();

// A close request that the user gave while the run held the window, or before
// the page shown after it appeared, may reach the window much later: the
// window manager passes it on when it gets round to it. From now on for as
// long as `window` lives, close requests given before this call are dropped
// whenever they arrive, and later ones close the window as usual (see
// CloseRequestRule).
void refuseCloseRequestsGivenBeforeNow(QWidget& window);
