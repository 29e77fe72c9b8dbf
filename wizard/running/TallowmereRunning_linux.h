#pragma once

#include "TallowmereRunningRule.h"

#include <string>
#include <vector>

// Every process listed under a proc file system root ("/proc"), as far as it
// can be read at this moment. Processes that vanish while being read, and
// facts that may not be read (other users' executable links), are left out
// or left empty rather than reported as errors; a root that cannot be listed
// gives an empty table.
std::vector<ProcessEntry> readProcessTable(const std::string& procRoot);

// This user's running processes of the bundle with `identifier`, read anew.
std::vector<pid_t> runningProcessesOfBundle(const std::string& identifier);
