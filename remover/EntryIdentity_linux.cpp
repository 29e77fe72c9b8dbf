#include "EntryIdentity.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>

#include <cerrno>

namespace remover {

std::optional<EntryIdentity> identifyOpenFolder(int fd)
{
    // A bind mount of a folder of the same file system keeps its device
    // number: only statx tells its mount apart.
    struct statx info;
    if (statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_INO | STATX_UID | STATX_MNT_ID, &info)
        == 0) {
        EntryIdentity identity;
        identity.device = makedev(info.stx_dev_major, info.stx_dev_minor);
        identity.inode = info.stx_ino;
        identity.owner = info.stx_uid;
        identity.mountId = (info.stx_mask & STATX_MNT_ID) ? info.stx_mnt_id : 0;
        identity.isMountRoot
            = (info.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (info.stx_attributes & STATX_ATTR_MOUNT_ROOT);
        return identity;
    }
    if (errno != ENOSYS)
        return std::nullopt;
    // A kernel older than statx: the device number is all there is.
    struct stat plain;
    if (fstat(fd, &plain) != 0)
        return std::nullopt;
    EntryIdentity identity;
    identity.device = plain.st_dev;
    identity.inode = plain.st_ino;
    identity.owner = plain.st_uid;
    return identity;
}

bool isInMemoryFileSystem(int fd)
{
    struct statfs fileSystem;
    return fstatfs(fd, &fileSystem) == 0 && (fileSystem.f_type == TMPFS_MAGIC || fileSystem.f_type == RAMFS_MAGIC);
}

} // namespace remover
