#include "EntryIdentity.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/param.h>
#include <sys/stat.h>

#include <cstring>

std::optional<EntryIdentity> identifyOpenFolder(int fd)
{
    struct stat info;
    struct statfs fileSystem;
    if (fstat(fd, &info) != 0 || fstatfs(fd, &fileSystem) != 0)
        return std::nullopt;
    EntryIdentity identity;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.owner = info.st_uid;
    // The folder is a mount point when its own path is where its file system
    // is mounted. Without a path to compare, it counts as one: never entered.
    char path[MAXPATHLEN];
    identity.isMountRoot = fcntl(fd, F_GETPATH, path) != 0 || std::strcmp(path, fileSystem.f_mntonname) == 0;
    return identity;
}

bool isInMemoryFileSystem(int fd)
{
    struct statfs fileSystem;
    return fstatfs(fd, &fileSystem) == 0 && std::strcmp(fileSystem.f_fstypename, "tmpfs") == 0;
}
