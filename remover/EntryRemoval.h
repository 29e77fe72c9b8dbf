#pragma once

#include <string>

#include "RemovalResult.h"
#include "RemovalSettings.h"

namespace remover {

// The walk runs as root over folders that another user may change while it
// runs, so it never resolves a name inside the tree by path: every folder is
// opened relative to its parent with O_NOFOLLOW, and every removal is relative
// to the open parent. A folder swapped for a symbolic link mid-walk is removed
// as a link; the walk cannot be led outside the tree. It does not cross into
// another mount, not even a bind mount of a folder of the same file system;
// what lies there stays and counts as a failure.

// Removes the entry `name` (a single path component) inside the folder open as
// `parentFd`: a file, a symbolic link itself, or a folder with everything in it.
// Ok when it is gone or was already absent; otherwise the first failure.
// A folder that is the root of a mount (the entry itself or anything below) is
// never entered: it stays and the removal fails. So is a folder that the
// settings' policy does not let the removal enter, and a mount point of a file
// system served by a program (UntrustedMounts.h), which is not even looked at.
RemovalResult removeEntryAt(int parentFd, const std::string& name, const RemovalSettings& settings = {});

} // namespace remover
