#pragma once

#include <string>
#include <vector>

namespace remover {

// A file system served by a program (FUSE) answers only when that program
// does: a user's daemon that never answers leaves whoever looks at the mount
// waiting in the kernel, root included, where not even SIGKILL reaches. The
// tool therefore learns where such mounts are before it touches a path, and
// never opens, lists or even looks up their mount points.

// True for the file system types whose every answer comes from a program.
bool isProgramServedFileSystem(const std::string& type);

// The mount points of program-served file systems in a Linux mount table
// (the text of /proc/self/mountinfo), unescaped.
std::vector<std::string> programServedMountPoints(const std::string& mountInfo);

// Reads the platform's mount table afresh. Until the first call, and when the
// table cannot be read, no mount point counts as one to avoid.
void learnUntrustedMounts();

// True when `name` inside the folder open as `folderFd` is one of the mount
// points learned last. Also true when there is such a mount point of that
// name and the folder's own path cannot be told.
bool isUntrustedMountPoint(int folderFd, const std::string& name);

// True when any such mount point was learned.
bool anyUntrustedMounts();

// The platform half.
// The mount points of program-served file systems on this machine; false when
// the table cannot be read.
bool readProgramServedMountPoints(std::vector<std::string>& mountPoints);
// The absolute path of the folder open as `fd`, as the kernel knows it now;
// empty when it cannot be told.
std::string pathOfOpenFolder(int fd);

} // namespace remover
