#include "PathWalk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "PathWalkPlatform.h"

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

bool sameEntry(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_uid == b.st_uid;
}

// A link of root's that a user has hard-linked into a folder of their own is
// the user's choice of place, not root's: it counts as root's only alone.
bool isRootsOwnLink(const struct stat& link)
{
    return link.st_uid == 0 && link.st_nlink == 1;
}

OpenedFolder outcome(Lookup lookup)
{
    OpenedFolder result;
    result.lookup = lookup;
    return result;
}

class Walk {
public:
    OpenedFolder from(int startFd, const std::string& path)
    {
        UniqueFd current(fcntl(startFd, F_DUPFD_CLOEXEC, 0));
        if (!current)
            return outcome(Lookup::Failed);
        for (const std::string& name : componentsOf(path)) {
            const int next = openFolderComponent(current.get(), name.c_str());
            if (next >= 0) {
                current = UniqueFd(next);
                continue;
            }
            struct stat info;
            if (fstatat(current.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
                return outcome(errno == ENOENT ? Lookup::Absent : Lookup::Failed);
            if (!S_ISLNK(info.st_mode))
                return outcome(S_ISDIR(info.st_mode) ? Lookup::Failed : Lookup::Absent);
            OpenedFolder target = followLink(current.get(), name, info);
            if (target.lookup != Lookup::Found)
                return target;
            current = std::move(target.folder);
        }
        OpenedFolder result;
        result.lookup = Lookup::Found;
        result.folder = std::move(current);
        return result;
    }

private:
    OpenedFolder followLink(int folderFd, const std::string& name, const struct stat& link)
    {
        if (++m_links > kMaxLinksPerWalk || holdsProcessViewLinks(folderFd))
            return outcome(Lookup::Failed);
        std::vector<char> buffer(static_cast<std::size_t>(link.st_size > 0 ? link.st_size : 255) + 1);
        const ssize_t length = readlinkat(folderFd, name.c_str(), buffer.data(), buffer.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size())
            return outcome(Lookup::Failed);
        // The owner decides whether the link is followed: it must still be the
        // link whose owner was read.
        struct stat again;
        if (fstatat(folderFd, name.c_str(), &again, AT_SYMLINK_NOFOLLOW) != 0 || !sameEntry(link, again))
            return outcome(Lookup::Failed);

        const std::string target(buffer.data(), static_cast<std::size_t>(length));
        OpenedFolder reached;
        if (target.front() == '/') {
            const UniqueFd root(open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (!root)
                return outcome(Lookup::Failed);
            reached = from(root.get(), target);
        } else {
            reached = from(folderFd, target);
        }
        if (reached.lookup != Lookup::Found)
            return reached;
        struct stat folder;
        if (fstat(reached.folder.get(), &folder) != 0)
            return outcome(Lookup::Failed);
        if (!isRootsOwnLink(link) && folder.st_uid != link.st_uid)
            return outcome(Lookup::Failed);
        return reached;
    }

    int m_links = 0;
};

} // namespace

OpenedFolder openFolderBeneath(int startFd, const std::string& relativePath)
{
    return Walk().from(startFd, relativePath);
}

OpenedFolder openFolderFromRoot(const std::string& absolutePath)
{
    const UniqueFd root(open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root)
        return outcome(Lookup::Failed);
    return Walk().from(root.get(), absolutePath);
}
