#include "PathWalkPlatform.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>

#include "FolderCalls.h"

namespace remover {

namespace {

long openBeneath(int folderFd, const char* name, int flags, unsigned long long resolve)
{
    open_how how {};
    how.flags = static_cast<unsigned long long>(flags);
    how.resolve = resolve;
    return syscall(SYS_openat2, folderFd, name, &how, sizeof how);
}

// The mount that `name` leads to, read from the kernel's tables alone: with
// AT_STATX_DONT_SYNC even a program-served file system is not asked.
bool mountOf(int folderFd, const char* name, EntryIdentity& found)
{
    struct statx info;
    if (statx(folderFd, name, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC, STATX_MNT_ID,
            &info)
        != 0)
        return false;
    found.device = makedev(info.stx_dev_major, info.stx_dev_minor);
    found.mountId = (info.stx_mask & STATX_MNT_ID) ? info.stx_mnt_id : 0;
    return true;
}

bool isOn(const EntryIdentity& found, const EntryIdentity& fileSystem)
{
    return found.device == fileSystem.device
        && (found.mountId == 0 || fileSystem.mountId == 0 || found.mountId == fileSystem.mountId);
}

bool isOn(int fd, const EntryIdentity& fileSystem)
{
    EntryIdentity found;
    return mountOf(fd, "", found) && isOn(found, fileSystem);
}

} // namespace

int openFolderComponent(int folderFd, const char* name, const EntryIdentity* fileSystem)
{
    // openat2 also refuses the links that /proc resolves without reading them.
    const unsigned long long resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    long fd = openBeneath(folderFd, name, kOpenFolderFlags, resolve | (fileSystem ? RESOLVE_NO_XDEV : 0));
    if (fd >= 0)
        return static_cast<int>(fd);
    if (errno == EXDEV && fileSystem) {
        // The way into the home's own file system, when the walk comes from
        // another one; any other mount stays refused.
        EntryIdentity found;
        if (!mountOf(folderFd, name, found) || !isOn(found, *fileSystem)) {
            errno = EXDEV;
            return -1;
        }
        fd = openBeneath(folderFd, name, kOpenFolderFlags, resolve);
        if (fd >= 0 && !isOn(static_cast<int>(fd), *fileSystem)) {
            close(static_cast<int>(fd)); // mounted over meanwhile
            errno = EXDEV;
            return -1;
        }
        return static_cast<int>(fd);
    }
    if (errno != ENOSYS && errno != EPERM)
        return -1;
    // Kernels before 5.6, or a filter that forbids the call: the mount is
    // checked once it is open.
    const int opened = openat(folderFd, name, kOpenFolderFlags);
    EntryIdentity here;
    if (opened >= 0 && fileSystem && !isOn(opened, *fileSystem)
        && !(mountOf(folderFd, "", here) && isOn(opened, here))) {
        close(opened);
        errno = EXDEV;
        return -1;
    }
    return opened;
}

int lookUpTargetOnSameFileSystem(int folderFd, const char* name)
{
    const long fd = openBeneath(folderFd, name, O_PATH | O_CLOEXEC, RESOLVE_NO_XDEV | RESOLVE_NO_MAGICLINKS);
    if (fd < 0 && (errno == ENOSYS || errno == EPERM)) {
        // Kernels before 5.6: the link is followed wherever it leads.
        struct stat info;
        return fstatat(folderFd, name, &info, 0);
    }
    if (fd < 0)
        return -1;
    close(static_cast<int>(fd));
    return 0;
}

int openFolderOnSameMount(int folderFd, const char* name)
{
    const long fd
        = openBeneath(folderFd, name, kOpenFolderFlags, RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | RESOLVE_NO_XDEV);
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM))
        return static_cast<int>(fd);
    return openat(folderFd, name, kOpenFolderFlags);
}

bool holdsProcessViewLinks(int folderFd)
{
    struct statfs info;
    return fstatfs(folderFd, &info) != 0 || info.f_type == PROC_SUPER_MAGIC;
}

} // namespace remover
