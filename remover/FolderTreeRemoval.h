#pragma once

#include <string>

#include "EntryIdentity.h"
#include "RemovalResult.h"
#include "RemovalSettings.h"

namespace remover {

// Removes everything in the folder open as `folderFd` (taken over and closed)
// and then the folder itself, which is `name` inside `parentFd` and is
// described by `folder`. `parentFd` stays open. Gives the first failure, if
// anything stayed.
//
// A small pool of workers (WorkerPool.h) shares the folders being listed at
// any depth (FolderListing.h); each walks depth-first (FolderWalk.h), and a
// folder is removed by whoever finishes the last thing in it. Only a window of
// the deepest folders is kept open per worker: the walk climbs back to the
// others with "..", and a climb that finds another folder than the one
// recorded on the way down stops there, deletes nothing in it, and fails.
// The rules that tie these together are in EngineInvariants.h.
//
// A folder that the settings' policy does not let it enter, that lies deeper
// than the policy's bound, or that is a mount point to avoid
// (UntrustedMounts.h) is not opened: it stays with everything in it, and the
// removal fails.
RemovalResult removeFolderTree(
    int parentFd, const std::string& name, int folderFd, const EntryIdentity& folder, const RemovalSettings& settings);

} // namespace remover
