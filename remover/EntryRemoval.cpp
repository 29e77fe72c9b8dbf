#include "EntryRemoval.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "FolderCalls.h"
#include "FolderTreeRemoval.h"
#include "UntrustedMounts.h"

namespace remover {

namespace {

bool isDotOrDotDot(const std::string& name)
{
    return name == "." || name == "..";
}

RemovalResult removeFolderAt(int parentFd, const std::string& name, const RemovalSettings& settings)
{
    EnteredFolder entered = enterFolder(parentFd, std::nullopt, name, 0, settings.policy);
    if (!entered.folder)
        return entered.why;
    return removeFolderTree(parentFd, name, entered.folder.release(), entered.identity, settings);
}

} // namespace

RemovalResult removeEntryAt(int parentFd, const std::string& name, const RemovalSettings& settings)
{
    if (name.empty() || isDotOrDotDot(name) || name.find('/') != std::string::npos)
        return removalFailure(RemovalStep::NotAName, EINVAL);
    // Not even looked at: a program that never answers would hold root here.
    if (isUntrustedMountPoint(parentFd, name))
        return removalFailure(RemovalStep::UntrustedMount, 0);
    struct stat info;
    if (fstatat(parentFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT)
            return {};
        return removalFailure(RemovalStep::LookUp, errno);
    }
    if (!S_ISDIR(info.st_mode)) {
        if (unlinkat(parentFd, name.c_str(), 0) == 0 || errno == ENOENT)
            return {};
        if (!refusedBecauseFolder(errno))
            return removalFailure(RemovalStep::Unlink, errno);
    }
    return removeFolderAt(parentFd, name, settings);
}

} // namespace remover
