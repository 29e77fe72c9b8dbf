#pragma once

#include <string>

// Says why the job was refused before the tool could run, on standard error
// and in the system log (syslog; on macOS that is the unified log). The window
// closes on the failure page either way, and the log is where an
// administrator looks for the reason.
void logJobRefusal(const std::string& why);
