#include "UntrustedMounts.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/param.h>

namespace remover {

namespace {

std::string folderPart(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return std::string();
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string pathOfOpenFolder(int fd)
{
    char path[MAXPATHLEN];
    if (fcntl(fd, F_GETPATH, path) != 0)
        return std::string();
    return path;
}

} // namespace

bool readProgramServedMounts(std::vector<ProgramServedMount>& mounts)
{
    // MNT_NOWAIT: asking every file system for fresh numbers would wait for
    // the very daemons this is meant to avoid.
    struct statfs* table = nullptr;
    const int count = getmntinfo(&table, MNT_NOWAIT);
    if (count <= 0)
        return false;
    mounts.clear();
    for (int i = 0; i < count; ++i) {
        if (!isProgramServedFileSystem(table[i].f_fstypename))
            continue;
        ProgramServedMount mount;
        mount.mountPoint = table[i].f_mntonname;
        mounts.push_back(std::move(mount));
    }
    return true;
}

// Looking at the name itself would ask the mounted file system for its root's
// attributes; the folder's own path, from the kernel, asks nobody.
bool leadsIntoOneOf(int folderFd, const std::string& name, const std::vector<ProgramServedMount>& mounts)
{
    std::string folder;
    bool folderKnown = false;
    for (const ProgramServedMount& mount : mounts) {
        if (lastComponent(mount.mountPoint) != name)
            continue;
        if (!folderKnown) {
            folder = pathOfOpenFolder(folderFd);
            folderKnown = true;
        }
        if (folder.empty() || folderPart(mount.mountPoint) == folder)
            return true;
    }
    return false;
}

} // namespace remover
