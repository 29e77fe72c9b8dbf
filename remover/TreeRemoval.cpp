#include "TreeRemoval.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "FolderCalls.h"
#include "FolderRemoval.h"
#include "PathWalkPlatform.h"
#include "UntrustedMounts.h"

namespace remover {

namespace {

bool isDotOrDotDot(const std::string& name)
{
    return name == "." || name == "..";
}

RemovalResult removeFolderAt(int parentFd, const std::string& name, const RemovalSettings& settings)
{
    UniqueFd folder(openFolderOnSameMount(parentFd, name.c_str()));
    if (!folder) {
        if (errno == ENOENT)
            return {};
        if (errno == EXDEV)
            return removalFailure(RemovalStep::MountRoot, 0);
        // Swapped for a link or a file since it was looked at: remove that.
        if (errno != ELOOP && errno != ENOTDIR)
            return removalFailure(RemovalStep::OpenFolder, errno);
        if (unlinkat(parentFd, name.c_str(), 0) == 0 || errno == ENOENT)
            return {};
        return removalFailure(RemovalStep::Unlink, errno);
    }
    const std::optional<EntryIdentity> parent = identifyOpenFolder(parentFd);
    const std::optional<EntryIdentity> identity = parent ? identifyOpenFolder(folder.get()) : std::nullopt;
    if (!parent || !identity)
        return removalFailure(RemovalStep::IdentifyFolder, errno);
    if (crossesMount(*parent, *identity))
        return removalFailure(RemovalStep::MountRoot, 0);
    if (!settings.policy.mayEnter(identity->owner))
        return removalFailure(RemovalStep::OtherUsersFolder, 0);
    return removeFolderTree(parentFd, name, folder.release(), *identity, settings);
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
