#include "JobPause.h"

#include <utility>

namespace {

// Set and used on the one thread that runs the wizard and its job.
JobPause& currentPause()
{
    static JobPause pause;
    return pause;
}

} // namespace

JobPause setJobPause(JobPause pause)
{
    return std::exchange(currentPause(), std::move(pause));
}

bool pauseInsteadOfSleeping(double seconds)
{
    const JobPause& pause = currentPause();
    if (!pause)
        return false;
    pause(seconds);
    return true;
}
