#pragma once

#include "EntryIdentity.h"

namespace remover {

// The platform half of the path walk.

// Opens the folder `name` inside `folderFd` without following a link, not even
// one the kernel would resolve by itself. With `fileSystem`, it opens only a
// folder on the same mount as `folderFd`, or the way into that file system
// from another one (a home on a mount of its own, reached from "/"); any other
// mount fails with EXDEV, before the file system mounted there is asked
// anything where the platform allows. Returns the descriptor, or -1 with
// errno set.
int openFolderComponent(int folderFd, const char* name, const EntryIdentity* fileSystem = nullptr);

// Looks up where the link (or entry) `name` inside `folderFd` leads without
// leaving the folder's file system: 0 when it leads somewhere, -1 with errno
// set otherwise (ENOENT for nowhere, EXDEV for another file system).
int lookUpTargetOnSameFileSystem(int folderFd, const char* name);

// Opens the folder `name` inside `folderFd` as the removal enters folders:
// without following a link and, where the platform allows, refusing a mount
// point with EXDEV before the file system mounted there is asked anything.
int openFolderOnSameMount(int folderFd, const char* name);

// True when the folder lies in a file system whose links are views into other
// processes (Linux's /proc): following one can lead into another mount
// namespace, where the folders of the machine look like anything at all.
bool holdsProcessViewLinks(int folderFd);

} // namespace remover
