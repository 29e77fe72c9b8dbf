#include "JobRefusalLog.h"

#include <syslog.h>

#include <cstdio>

// syslog(3) on both systems: on macOS it writes into the unified log, where
// `log show` and Console find it.
void logJobRefusal(const std::string& why)
{
    std::fprintf(stderr, "TallowmereUninstallWizard: %s\n", why.c_str());
    openlog("TallowmereUninstallWizard", LOG_PID, LOG_USER);
    syslog(LOG_WARNING, "%s", why.c_str());
    closelog();
}
