#pragma once

#include <functional>

// The two platform operations that the pages need, handed to the wizard so
// that a test can give its own. The program passes authorizeHelperTool and
// checkIfTallowmereIsRunning.

// Runs the privileged removal for a choice mask and returns the removal
// result as authorizeHelperTool does, a RemovalJobResult as a number; blocks
// the calling thread until then.
using RemovalJob = std::function<int(int choiceMask)>;

// True while the product runs; asked anew at every call.
using RunningCheck = std::function<bool()>;
