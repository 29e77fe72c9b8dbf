#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace remover {

// What tells one folder from another, and one mount from the next.
struct EntryIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    std::uint64_t mountId = 0; // 0 where the platform gives none
    bool isMountRoot = false;
    uid_t owner = 0;
};

// The identity of the folder open as `fd`; empty when it cannot be read.
std::optional<EntryIdentity> identifyOpenFolder(int fd);

// The identity of what a stat of an entry told; no mount facts.
inline EntryIdentity identityOf(const struct stat& info)
{
    EntryIdentity identity;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.owner = info.st_uid;
    return identity;
}

// Whether two looks at the file system met the same file or folder.
inline bool isSameEntry(const EntryIdentity& a, const EntryIdentity& b)
{
    return a.device == b.device && a.inode == b.inode;
}

// Whether two open descriptors are of the same folder; false when either
// cannot be identified.
inline bool isSameOpenFolder(int a, int b)
{
    const std::optional<EntryIdentity> first = identifyOpenFolder(a);
    const std::optional<EntryIdentity> second = identifyOpenFolder(b);
    return first && second && isSameEntry(*first, *second);
}

// True when `child`, found inside the folder `parent`, is the root of a mount
// (a bind mount of a folder of the same file system included) or lies on
// another one.
inline bool crossesMount(const EntryIdentity& parent, const EntryIdentity& child)
{
    return child.isMountRoot || child.device != parent.device
        || (parent.mountId != 0 && child.mountId != 0 && parent.mountId != child.mountId);
}

// True when the folder open as `fd` lies in a file system kept in memory
// (tmpfs), where removal is bound by the processors rather than by storage.
bool isInMemoryFileSystem(int fd);

} // namespace remover
