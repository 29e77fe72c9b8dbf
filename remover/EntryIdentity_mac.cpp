#include "EntryIdentity.h"

#include <sys/attr.h>
#include <sys/mount.h>
#include <sys/param.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace remover {

namespace {

// The folder's own word on whether a file system is mounted on it; asked of
// the descriptor, so it holds at any depth of path. Empty when the file
// system cannot answer.
std::optional<bool> isMountPoint(int fd)
{
    struct attrlist request;
    std::memset(&request, 0, sizeof request);
    request.bitmapcount = ATTR_BIT_MAP_COUNT;
    request.dirattr = ATTR_DIR_MOUNTSTATUS;
    // The reply: its own length, then the one attribute asked for.
    struct {
        std::uint32_t length;
        std::uint32_t mountStatus;
    } reply;
    if (fgetattrlist(fd, &request, &reply, sizeof reply, 0) != 0 || reply.length < sizeof reply)
        return std::nullopt;
    return (reply.mountStatus & DIR_MNTSTATUS_MNTPOINT) != 0;
}

} // namespace

std::optional<EntryIdentity> identifyOpenFolder(int fd)
{
    struct stat info;
    if (fstat(fd, &info) != 0)
        return std::nullopt;
    EntryIdentity identity;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.owner = info.st_uid;
    // Another file system shows in the device number too (crossesMount);
    // the mount status also catches a mount root whatever its device.
    // Without an answer the folder counts as a mount root: never entered.
    identity.isMountRoot = isMountPoint(fd).value_or(true);
    return identity;
}

bool isInMemoryFileSystem(int fd)
{
    struct statfs fileSystem;
    return fstatfs(fd, &fileSystem) == 0 && std::strcmp(fileSystem.f_fstypename, "tmpfs") == 0;
}

} // namespace remover
