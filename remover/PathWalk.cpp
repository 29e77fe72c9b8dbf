#include "PathWalk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "FolderCalls.h"
#include "PathWalkPlatform.h"
#include "UntrustedMounts.h"

namespace remover {

namespace {

// As many links as the kernel follows in one path before it reports a loop.
const int kMaxLinksPerWalk = 40;

// The components to open one after the other: ".." stays a step of its own,
// since the folder above is whatever the last open folder has above it.
std::vector<std::string> componentsOf(const std::string& path)
{
    std::vector<std::string> parts;
    for (const std::filesystem::path& part : std::filesystem::path(path).relative_path()) {
        if (!part.empty() && part != ".")
            parts.push_back(part.string());
    }
    return parts;
}

// A link of root's that a user has hard-linked into a folder of their own is
// the user's choice of place, not root's: it counts as root's only alone.
bool isRootsOwnLink(const struct stat& link)
{
    return link.st_uid == 0 && link.st_nlink == 1;
}

OpenedFolder absent()
{
    OpenedFolder result;
    result.lookup = Lookup::Absent;
    return result;
}

OpenedFolder failed(RemovalStep step, int error, std::string where)
{
    OpenedFolder result;
    result.lookup = Lookup::Failed;
    result.why = removalFailure(step, error, std::move(where));
    return result;
}

// Absent for a missing component, else a failed look-up with its errno.
OpenedFolder lookUpFailed(int error, std::string where)
{
    return error == ENOENT ? absent() : failed(RemovalStep::LookUp, error, std::move(where));
}

std::string joined(const std::string& path, const std::string& name)
{
    return path.empty() ? name : path + "/" + name;
}

// The folder parts[closed] inside `folderFd` may be looked into but not
// opened (macOS refuses a root job without full disk access to list some of
// the user's folders). The rest of the path, and the entry in the last folder,
// are looked up by name one more component at a time: where one does not
// exist, the entry is provably absent. A refused look-up, a link or an entry
// that is there all stay failures. `walked` is the path up to `folderFd`,
// `openError` why parts[closed] could not be opened.
OpenedFolder lookBeyondClosedFolder(int folderFd, const std::string& walked, const std::vector<std::string>& parts,
    std::size_t closed, const std::string& entryName, int openError)
{
    const std::string closedFolder = joined(walked, parts[closed]);
    // Looking up by name would touch a program-served mount unseen.
    if (anyUntrustedMounts())
        return failed(RemovalStep::LookUp, openError, closedFolder);
    std::vector<std::string> rest(parts.begin() + static_cast<std::ptrdiff_t>(closed), parts.end());
    rest.push_back(entryName);
    std::string relative = rest.front();
    for (std::size_t i = 1; i < rest.size(); ++i) {
        if (rest[i] == "..")
            return failed(RemovalStep::LookUp, openError, closedFolder);
        relative += "/" + rest[i];
        struct stat info;
        if (fstatat(folderFd, relative.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            return lookUpFailed(errno, joined(walked, relative));
        if (i + 1 < rest.size() && !S_ISDIR(info.st_mode)) {
            if (S_ISLNK(info.st_mode))
                return failed(RemovalStep::LookUp, openError, closedFolder);
            return absent();
        }
    }
    // It is there, behind a folder that cannot be opened.
    return failed(RemovalStep::LookUp, openError, closedFolder);
}

bool isOwnedByRoot(int folderFd)
{
    struct stat info;
    return fstat(folderFd, &info) == 0 && info.st_uid == 0;
}

class Walk {
public:
    explicit Walk(const RemovalPolicy& rules)
        : m_rules(rules)
    {
    }

    // `entryName`: the entry that the caller will look up in the folder, for
    // telling its absence when a folder on the way cannot be opened.
    OpenedFolder from(int startFd, const std::string& path, const std::string* entryName = nullptr)
    {
        UniqueFd current(fcntl(startFd, F_DUPFD_CLOEXEC, 0));
        if (!current)
            return failed(RemovalStep::LookUp, errno, std::string());
        const std::vector<std::string> parts = componentsOf(path);
        std::string walked;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const std::string& name = parts[i];
            const std::string here = joined(walked, name);
            if (isUntrustedMountPoint(current.get(), name))
                return failed(RemovalStep::UntrustedMount, 0, here);
            const int next
                = openFolderComponent(current.get(), name.c_str(), m_rules.fileSystem ? &*m_rules.fileSystem : nullptr);
            if (next >= 0) {
                current = UniqueFd(next);
                if (!mayPassThrough(current.get()))
                    return failed(RemovalStep::OtherUsersFolder, 0, here);
                walked = here;
                continue;
            }
            const int openError = errno;
            // Another file system where the walk may not leave its own: not
            // even looked at.
            if (openError == EXDEV)
                return failed(RemovalStep::MountRoot, 0, here);
            struct stat info;
            if (fstatat(current.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
                return lookUpFailed(errno, here);
            if (S_ISDIR(info.st_mode) && entryName && (openError == EACCES || openError == EPERM))
                return lookBeyondClosedFolder(current.get(), walked, parts, i, *entryName, openError);
            if (!S_ISLNK(info.st_mode))
                return S_ISDIR(info.st_mode) ? failed(RemovalStep::LookUp, openError, here) : absent();
            OpenedFolder target = followLink(current.get(), name, info);
            if (target.lookup != Lookup::Found) {
                // Told at the link: the path given goes no further than that.
                target.why.where = here;
                return target;
            }
            current = std::move(target.folder);
            walked = here;
        }
        if (m_nesting == 0 && !endsOnTheFileSystem(current.get()))
            return failed(RemovalStep::MountRoot, 0, walked);
        OpenedFolder result;
        result.lookup = Lookup::Found;
        result.folder = std::move(current);
        return result;
    }

private:
    bool mayPassThrough(int folderFd) const
    {
        if (!m_rules.folderOwner)
            return true;
        struct stat info;
        return fstat(folderFd, &info) == 0 && m_rules.mayEnter(info.st_uid);
    }

    // A link may have led the walk through other file systems on its way back
    // into the home's: where it ends must be the home's.
    bool endsOnTheFileSystem(int folderFd) const
    {
        if (!m_rules.fileSystem)
            return true;
        const std::optional<EntryIdentity> found = identifyOpenFolder(folderFd);
        return found && found->device == m_rules.fileSystem->device
            && (found->mountId == 0 || m_rules.fileSystem->mountId == 0
                || found->mountId == m_rules.fileSystem->mountId);
    }

    OpenedFolder followLink(int folderFd, const std::string& name, const struct stat& link)
    {
        if (++m_links > kMaxLinksPerWalk)
            return failed(RemovalStep::LookUp, ELOOP, name);
        if (holdsProcessViewLinks(folderFd))
            return failed(RemovalStep::LinkNotFollowed, 0, name);
        // A second name of a link of root's was given by whoever owns the
        // folder it stands in: it leads nowhere, not even into root's folders.
        if (link.st_uid == 0 && !isRootsOwnLink(link))
            return failed(RemovalStep::LinkNotFollowed, 0, name);
        // Where the holder of the folder may move links about, a link of
        // root's there says nothing of root's choice.
        if (m_rules.folderOwner && link.st_uid == 0 && !isOwnedByRoot(folderFd))
            return failed(RemovalStep::LinkNotFollowed, 0, name);
        std::vector<char> buffer(static_cast<std::size_t>(link.st_size > 0 ? link.st_size : 255) + 1);
        const ssize_t length = readlinkat(folderFd, name.c_str(), buffer.data(), buffer.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size())
            return failed(RemovalStep::LookUp, length < 0 ? errno : 0, name); // changed while it was read
        // The owner decides whether the link is followed: it must still be the
        // link whose owner was read.
        struct stat again;
        if (fstatat(folderFd, name.c_str(), &again, AT_SYMLINK_NOFOLLOW) != 0)
            return failed(RemovalStep::LookUp, errno, name);
        if (!isSameEntry(identityOf(link), identityOf(again)) || link.st_uid != again.st_uid)
            return failed(RemovalStep::LookUp, 0, name); // replaced since its owner was read

        const std::string target(buffer.data(), static_cast<std::size_t>(length));
        OpenedFolder reached;
        ++m_nesting;
        struct Unnest {
            int& nesting;
            ~Unnest() { --nesting; }
        } unnest { m_nesting };
        if (target.front() == '/') {
            const UniqueFd root = openMachineRoot();
            if (!root)
                return failed(RemovalStep::LookUp, errno, name);
            reached = from(root.get(), target);
        } else {
            reached = from(folderFd, target);
        }
        if (reached.lookup != Lookup::Found)
            return reached;
        struct stat folder;
        if (fstat(reached.folder.get(), &folder) != 0)
            return failed(RemovalStep::LookUp, errno, name);
        if (link.st_uid != 0 && folder.st_uid != link.st_uid)
            return failed(RemovalStep::LinkNotFollowed, 0, name);
        return reached;
    }

    const RemovalPolicy& m_rules;
    int m_links = 0;
    int m_nesting = 0; // links being followed
};

} // namespace

OpenedFolder openFolderBeneath(int startFd, const std::string& relativePath, const RemovalPolicy& rules)
{
    return Walk(rules).from(startFd, relativePath);
}

OpenedFolder openParentOfEntry(
    int startFd, const std::string& relativePath, const std::string& entryName, const RemovalPolicy& rules)
{
    return Walk(rules).from(startFd, relativePath, &entryName);
}

RemovalPolicy rulesUnderHome(int homeFd)
{
    RemovalPolicy rules;
    const std::optional<EntryIdentity> home = identifyOpenFolder(homeFd);
    if (home) {
        rules.folderOwner = home->owner;
        rules.fileSystem = *home;
    } else {
        // Nothing can be told of the home: nothing under it may be entered.
        rules.folderOwner = static_cast<uid_t>(-1);
        rules.fileSystem = EntryIdentity {};
    }
    return rules;
}

OpenedFolder openFolderFromRoot(const std::string& absolutePath)
{
    const UniqueFd root = openMachineRoot();
    if (!root)
        return failed(RemovalStep::LookUp, errno, "/");
    return Walk(RemovalPolicy()).from(root.get(), absolutePath);
}

} // namespace remover
