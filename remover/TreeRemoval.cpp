#include "TreeRemoval.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "FolderListing.h"
#include "FolderRemoval.h"
#include "UntrustedMounts.h"

namespace {

bool isDotOrDotDot(const std::string& name)
{
    return name == "." || name == "..";
}

bool removeFolderAt(int parentFd, const std::string& name, const RemovalPolicy& policy)
{
    UniqueFd folder(openat(parentFd, name.c_str(), kOpenFolderFlags));
    if (!folder) {
        if (errno == ENOENT)
            return true;
        // Swapped for a link or a file since it was looked at: remove that.
        return (errno == ELOOP || errno == ENOTDIR) && (unlinkat(parentFd, name.c_str(), 0) == 0 || errno == ENOENT);
    }
    const std::optional<EntryIdentity> parent = identifyOpenFolder(parentFd);
    const std::optional<EntryIdentity> identity = identifyOpenFolder(folder.get());
    if (!parent || !identity || crossesMount(*parent, *identity) || !policy.mayEnter(identity->owner))
        return false;
    return removeFolderTree(parentFd, name, folder.release(), *identity, policy);
}

} // namespace

bool removeEntryAt(int parentFd, const std::string& name, const RemovalPolicy& policy)
{
    if (name.empty() || isDotOrDotDot(name) || name.find('/') != std::string::npos
        || isUntrustedMountPoint(parentFd, name))
        return false;
    struct stat info;
    if (fstatat(parentFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(info.st_mode)) {
        if (unlinkat(parentFd, name.c_str(), 0) == 0 || errno == ENOENT)
            return true;
        if (!refusedBecauseFolder(errno))
            return false;
    }
    return removeFolderAt(parentFd, name, policy);
}
