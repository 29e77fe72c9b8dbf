#include "PathWalkPlatform.h"

#include <fcntl.h>

namespace remover {

int openFolderComponent(int folderFd, const char* name)
{
    return openat(folderFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Only Linux's /proc holds links into other processes' views of the folders.
bool holdsProcessViewLinks(int)
{
    return false;
}

} // namespace remover
