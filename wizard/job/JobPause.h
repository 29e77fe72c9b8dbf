#pragma once

#include <functional>

// How the thread that waits for the privileged job passes the time between
// its tests. Without a pause set it just sleeps. The wizard sets one for as
// long as its run lasts, so that its window keeps being painted while the
// job waits; a pause too returns only after the time given.
using JobPause = std::function<void(double seconds)>;

// Sets the pause for the waits that follow (an empty one: sleep again) and
// returns the one it replaces.
JobPause setJobPause(JobPause pause);

// Passes the time with the pause set and returns true; false when none is
// set, and the caller sleeps itself.
bool pauseInsteadOfSleeping(double seconds);
