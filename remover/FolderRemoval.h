#pragma once

#include <string>

#include "EntryIdentity.h"
#include "RemovalPolicy.h"

// Removes everything in the folder open as `folderFd` (taken over and closed)
// and then the folder itself, which is `name` inside `parentFd` and is
// described by `folder`. True when all of it is gone. `parentFd` stays open.
//
// A small pool of workers shares the folders being listed at any depth; a
// folder is removed by whoever finishes the last thing in it. Only a window
// of the deepest folders is kept open per worker: the walk climbs back to
// the others with "..", and a climb that finds another folder than the one
// recorded on the way down stops there, deletes nothing in it, and fails.
//
// A folder that `policy` does not let it enter, that lies deeper than the
// policy's bound, or that is a mount point to avoid (UntrustedMounts.h) is not
// opened: it stays with everything in it, and the result is false.
bool removeFolderTree(
    int parentFd, const std::string& name, int folderFd, const EntryIdentity& folder, const RemovalPolicy& policy = {});
