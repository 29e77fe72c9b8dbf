#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace remover {

// A file system served by a program (FUSE) answers only when that program
// does: a user's daemon that never answers leaves whoever looks at the mount
// waiting in the kernel, root included, where not even SIGKILL reaches. The
// tool therefore learns which mounts these are before it touches a path, and
// never opens, lists or even looks up their mount points. A mount is known by
// what the kernel tells of it without asking its file system (its mount id and
// device on Linux), not by the path it was mounted at, which a rename above it
// changes.

// A mount of a program-served file system, as the mount table gives it.
struct ProgramServedMount {
    std::string mountPoint; // unescaped
    std::uint64_t mountId = 0; // 0 where the table gives none
    dev_t device = 0;
};

// True for the file system types whose every answer comes from a program.
bool isProgramServedFileSystem(const std::string& type);

// The program-served mounts in a Linux mount table (the text of
// /proc/self/mountinfo).
std::vector<ProgramServedMount> programServedMounts(const std::string& mountInfo);

// Reads the platform's mount table afresh. Until the first call, and when the
// table cannot be read, no mount point counts as one to avoid.
void learnUntrustedMounts();

// True when `name` inside the folder open as `folderFd` leads into one of the
// mounts learned last. Also true when there is such a mount point of that
// name and the mount cannot be told.
bool isUntrustedMountPoint(int folderFd, const std::string& name);

// True when any such mount point was learned.
bool anyUntrustedMounts();

// The platform half.
// The program-served mounts of this machine; false when the table cannot be
// read.
bool readProgramServedMounts(std::vector<ProgramServedMount>& mounts);
// True when `name` inside the folder open as `folderFd` leads into one of
// `mounts` (not empty).
bool leadsIntoOneOf(int folderFd, const std::string& name, const std::vector<ProgramServedMount>& mounts);
// The last component of a mount point.
std::string lastComponent(const std::string& path);

} // namespace remover
