#include "PathWalkPlatform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "FolderCalls.h"

namespace remover {

namespace {

bool deviceOf(int fd, dev_t& device)
{
    struct stat info;
    if (fstat(fd, &info) != 0)
        return false;
    device = info.st_dev;
    return true;
}

} // namespace

// Without openat2 the mount is told by the device once the folder is open.
int openFolderComponent(int folderFd, const char* name, const EntryIdentity* fileSystem)
{
    const int fd = openat(folderFd, name, kOpenFolderFlags);
    if (fd < 0 || !fileSystem)
        return fd;
    dev_t here = 0, there = 0;
    if (deviceOf(fd, there) && (there == fileSystem->device || (deviceOf(folderFd, here) && here == there)))
        return fd;
    close(fd);
    errno = EXDEV;
    return -1;
}

int lookUpTargetOnSameFileSystem(int folderFd, const char* name)
{
    struct stat folder, target;
    if (fstat(folderFd, &folder) != 0 || fstatat(folderFd, name, &target, 0) != 0)
        return -1;
    if (target.st_dev == folder.st_dev)
        return 0;
    errno = EXDEV;
    return -1;
}

int openFolderOnSameMount(int folderFd, const char* name)
{
    return openat(folderFd, name, kOpenFolderFlags);
}

// Only Linux's /proc holds links into other processes' views of the folders.
bool holdsProcessViewLinks(int)
{
    return false;
}

} // namespace remover
