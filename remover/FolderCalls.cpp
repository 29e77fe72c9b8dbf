#include "FolderCalls.h"

#include "PathWalkPlatform.h"
#include "UntrustedMounts.h"

namespace remover {

namespace {

EnteredFolder notEntered(RemovalStep step, int error)
{
    EnteredFolder result;
    result.why = removalFailure(step, error);
    return result;
}

} // namespace

EnteredFolder enterFolder(int parentFd, const std::optional<EntryIdentity>& parent, const std::string& name,
    std::size_t depth, const RemovalPolicy& policy)
{
    if (depth > policy.maxDepth)
        return notEntered(RemovalStep::TooDeep, 0);
    // Not even opened: a program that never answers would hold root here.
    if (isUntrustedMountPoint(parentFd, name))
        return notEntered(RemovalStep::UntrustedMount, 0);
    // A mount made here since the walk began is refused before its file
    // system is asked anything.
    UniqueFd folder(openFolderOnSameMount(parentFd, name.c_str()));
    if (!folder) {
        if (errno == ENOENT)
            return {};
        if (errno == EXDEV)
            return notEntered(RemovalStep::MountRoot, 0);
        if (errno != ELOOP && errno != ENOTDIR)
            return notEntered(RemovalStep::OpenFolder, errno);
        // Swapped for a link or a file since it was looked at: remove that.
        if (unlinkat(parentFd, name.c_str(), 0) == 0 || errno == ENOENT)
            return {};
        return notEntered(RemovalStep::Unlink, errno);
    }
    const std::optional<EntryIdentity> above = parent ? parent : identifyOpenFolder(parentFd);
    const std::optional<EntryIdentity> identity = above ? identifyOpenFolder(folder.get()) : std::nullopt;
    if (!identity)
        return notEntered(RemovalStep::IdentifyFolder, errno);
    if (crossesMount(*above, *identity))
        return notEntered(RemovalStep::MountRoot, 0);
    if (!policy.mayEnter(identity->owner))
        return notEntered(RemovalStep::OtherUsersFolder, 0);
    EnteredFolder result;
    result.folder = std::move(folder);
    result.identity = *identity;
    return result;
}

} // namespace remover
