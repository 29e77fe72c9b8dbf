#pragma once

namespace remover {

// The platform half of the path walk.

// Opens the folder `name` inside `folderFd` without following a link, not even
// one the kernel would resolve by itself. Returns the descriptor, or -1 with
// errno set.
int openFolderComponent(int folderFd, const char* name);

// True when the folder lies in a file system whose links are views into other
// processes (Linux's /proc): following one can lead into another mount
// namespace, where the folders of the machine look like anything at all.
bool holdsProcessViewLinks(int folderFd);

} // namespace remover
