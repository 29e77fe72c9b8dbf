#include "TreeRemoval.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace {

const int kOpenFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool isDotOrDotDot(const char* name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// unlink(2) refuses folders with EISDIR on Linux and EPERM on the BSDs.
bool refusedBecauseFolder(int error)
{
    return error == EISDIR || error == EPERM;
}

// One open folder of the walk.
struct OpenFolder {
    DIR* listing;
    std::string name;  // its name inside the folder below it on the stack
    bool rescanned;
    bool failedHere;
};

class FolderWalk {
public:
    explicit FolderWalk(dev_t device) : m_device(device) {}

    ~FolderWalk()
    {
        for (OpenFolder& folder : m_stack)
            closedir(folder.listing);
    }

    // Removes everything inside the open folder `fd` (taken over), then the
    // folder itself as `name` inside `parentFd`.
    bool run(int parentFd, int fd, const std::string& name)
    {
        if (!push(fd, name))
            return false;
        while (!m_stack.empty()) {
            OpenFolder& folder = m_stack.back();
            errno = 0;
            const dirent* entry = readdir(folder.listing);
            if (entry) {
                removeEntry(folder, entry);
                continue;
            }
            if (errno != 0)
                fail();
            finishFolder(parentFd);
        }
        return m_ok;
    }

private:
    bool push(int fd, const std::string& name)
    {
        DIR* listing = fdopendir(fd);
        if (!listing) {
            close(fd);
            return fail();
        }
        m_stack.push_back(OpenFolder{listing, name, false, false});
        return true;
    }

    bool fail()
    {
        m_ok = false;
        if (!m_stack.empty())
            m_stack.back().failedHere = true;
        return false;
    }

    void removeEntry(OpenFolder& folder, const dirent* entry)
    {
        const char* name = entry->d_name;
        if (isDotOrDotDot(name))
            return;
        const int fd = dirfd(folder.listing);

        // Unlink first and ask later: most entries are files, and the entry
        // type can change under us anyway.
        if (entry->d_type != DT_DIR) {
            if (unlinkat(fd, name, 0) == 0 || errno == ENOENT)
                return;
            if (!refusedBecauseFolder(errno)) {
                fail();
                return;
            }
        }
        descend(fd, name);
    }

    void descend(int parentFd, const char* name)
    {
        const int child = openat(parentFd, name, kOpenFolderFlags);
        if (child < 0) {
            if (errno == ENOENT)
                return;
            // Swapped for a link or a file since it was listed: remove that.
            if ((errno == ELOOP || errno == ENOTDIR) && (unlinkat(parentFd, name, 0) == 0 || errno == ENOENT))
                return;
            fail();
            return;
        }
        struct stat info;
        if (fstat(child, &info) != 0 || info.st_dev != m_device) {
            close(child);
            fail();
            return;
        }
        push(child, name);
    }

    // The listing is done: remove the folder itself from the folder below it.
    void finishFolder(int rootParentFd)
    {
        OpenFolder& folder = m_stack.back();
        const int parentFd = m_stack.size() > 1 ? dirfd(m_stack[m_stack.size() - 2].listing) : rootParentFd;
        const bool removed = unlinkat(parentFd, folder.name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT;
        if (!removed && (errno == ENOTEMPTY || errno == EEXIST) && !folder.failedHere && !folder.rescanned) {
            // Some file systems skip entries when a folder changes while it
            // is listed; read it once more before giving up on it.
            folder.rescanned = true;
            rewinddir(folder.listing);
            return;
        }
        closedir(folder.listing);
        m_stack.pop_back();
        if (!removed)
            fail();
    }

    dev_t m_device;
    std::vector<OpenFolder> m_stack;
    bool m_ok = true;
};

}  // namespace

bool itemExists(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

bool removeItem(const std::string& path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    const auto slash = trimmed.find_last_of('/');
    const std::string name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    if (name.empty() || isDotOrDotDot(name.c_str()))
        return false;
    std::string parent = slash == std::string::npos ? "." : trimmed.substr(0, slash);
    if (parent.empty())
        parent = "/";

    const int parentFd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0)
        return false;

    bool removed = false;
    if (unlinkat(parentFd, name.c_str(), 0) == 0 || errno == ENOENT) {
        removed = true;
    } else if (refusedBecauseFolder(errno)) {
        const int fd = openat(parentFd, name.c_str(), kOpenFolderFlags);
        struct stat info;
        if (fd < 0) {
            // Swapped for a link or a file since the first attempt.
            removed = (errno == ELOOP || errno == ENOTDIR) && unlinkat(parentFd, name.c_str(), 0) == 0;
        } else if (fstat(fd, &info) == 0) {
            removed = FolderWalk(info.st_dev).run(parentFd, fd, name);
        } else {
            close(fd);
        }
    }
    close(parentFd);
    return removed;
}
