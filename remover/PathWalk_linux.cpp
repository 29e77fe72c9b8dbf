#include "PathWalkPlatform.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>

namespace remover {

namespace {

const int kOpenFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

} // namespace

int openFolderComponent(int folderFd, const char* name)
{
    // openat2 also refuses the links that /proc resolves without reading them.
    open_how how {};
    how.flags = kOpenFolderFlags;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const long fd = syscall(SYS_openat2, folderFd, name, &how, sizeof how);
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM))
        return static_cast<int>(fd);
    // Kernels before 5.6, or a filter that forbids the call.
    return openat(folderFd, name, kOpenFolderFlags);
}

bool holdsProcessViewLinks(int folderFd)
{
    struct statfs info;
    return fstatfs(folderFd, &info) != 0 || info.f_type == PROC_SUPER_MAGIC;
}

} // namespace remover
