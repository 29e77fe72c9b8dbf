#include "UntrustedMounts.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/param.h>

namespace remover {

bool readProgramServedMountPoints(std::vector<std::string>& mountPoints)
{
    // MNT_NOWAIT: asking every file system for fresh numbers would wait for
    // the very daemons this is meant to avoid.
    struct statfs* mounts = nullptr;
    const int count = getmntinfo(&mounts, MNT_NOWAIT);
    if (count <= 0)
        return false;
    mountPoints.clear();
    for (int i = 0; i < count; ++i) {
        if (isProgramServedFileSystem(mounts[i].f_fstypename))
            mountPoints.push_back(mounts[i].f_mntonname);
    }
    return true;
}

std::string pathOfOpenFolder(int fd)
{
    char path[MAXPATHLEN];
    if (fcntl(fd, F_GETPATH, path) != 0)
        return std::string();
    return path;
}

} // namespace remover
