#pragma once

// Gets administrator rights, has the system's service manager run the removal
// tool once as root with the choice mask, waits for its verdict and returns
// the removal result as a number (RemovalJobResult): 0 when authorisation or
// submission failed, 1 when the tool reported anything but success, 2 on
// success. Blocks the calling thread.
int authorizeHelperTool(int choiceMask);
