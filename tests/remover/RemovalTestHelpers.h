#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <functional>
#include <string>

#include "EntryRemoval.h"
#include "RemovalSettings.h"

namespace remover {

namespace removaltest {

const int kChildSkips = 77; // a child that cannot set up what it needs says so

// Removes the entry at a path through removeEntryAt; the folder that holds it
// is opened by path, which only a test folder may be.
RemovalResult removePath(const std::string& path, const RemovalSettings& settings = {});
inline bool removeItem(const std::string& path, const RemovalSettings& settings = {})
{
    return removePath(path, settings).ok();
}

// Runs `body` in a forked child and gives its exit status. A child ended by a
// signal fails the test: a crash must never pass for a skip. A child still
// running after `seconds` is killed, so a walk that never ends fails too.
int runInChild(
    const std::function<int()>& body, const std::function<void(pid_t)>& whileRunning = {}, unsigned seconds = 60);

bool lowerOpenFileLimit(rlim_t soft);

// `top` followed by `depth` times "/d".
std::string chain(const std::string& top, int depth);

// A private mount namespace for this process, so that its mounts vanish with
// it. False where that is not allowed (not root).
bool enterPrivateMountNamespace();

} // namespace removaltest

} // namespace remover
