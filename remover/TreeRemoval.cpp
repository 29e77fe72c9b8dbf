#include "TreeRemoval.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
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

bool isFolderNotEmpty(int error)
{
    return error == ENOTEMPTY || error == EEXIST;
}

enum class EntryOutcome { Removed, Failed, IsFolder };

// Removes an entry that is not a folder. Unlinks first and asks later: most
// entries are files, and the type read from the listing may be stale anyway.
// A folder is left alone and opened for the walk instead, through `folderFd`.
EntryOutcome removeNonFolderOrOpen(int parentFd, const char* name, unsigned char listedType, dev_t device,
                                   int& folderFd)
{
    folderFd = -1;
    if (listedType != DT_DIR) {
        if (unlinkat(parentFd, name, 0) == 0 || errno == ENOENT)
            return EntryOutcome::Removed;
        if (!refusedBecauseFolder(errno))
            return EntryOutcome::Failed;
    }
    const int fd = openat(parentFd, name, kOpenFolderFlags);
    if (fd < 0) {
        if (errno == ENOENT)
            return EntryOutcome::Removed;
        // Swapped for a link or a file since it was listed: remove that.
        if ((errno == ELOOP || errno == ENOTDIR) && (unlinkat(parentFd, name, 0) == 0 || errno == ENOENT))
            return EntryOutcome::Removed;
        return EntryOutcome::Failed;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || info.st_dev != device) {
        close(fd);
        return EntryOutcome::Failed;
    }
    folderFd = fd;
    return EntryOutcome::IsFolder;
}

// Removes the folder `name` inside `parentFd` with everything in it, given an
// open descriptor of it. Depth first with an explicit stack of open folders,
// so that the memory used grows with the depth of the tree, not its size.
class FolderWalk {
public:
    explicit FolderWalk(dev_t device) : m_device(device) {}

    ~FolderWalk()
    {
        for (OpenFolder& folder : m_stack)
            closedir(folder.listing);
    }

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
    struct OpenFolder {
        DIR* listing;
        std::string name;  // its name inside the folder below it on the stack
        bool rescanned;
        bool failedHere;
    };

    bool push(int fd, const std::string& name)
    {
        DIR* listing = fdopendir(fd);
        if (!listing) {
            close(fd);
            fail();
            return false;
        }
        m_stack.push_back(OpenFolder{listing, name, false, false});
        return true;
    }

    void fail()
    {
        m_ok = false;
        if (!m_stack.empty())
            m_stack.back().failedHere = true;
    }

    void removeEntry(OpenFolder& folder, const dirent* entry)
    {
        if (isDotOrDotDot(entry->d_name))
            return;
        int child = -1;
        switch (removeNonFolderOrOpen(dirfd(folder.listing), entry->d_name, entry->d_type, m_device, child)) {
        case EntryOutcome::Removed:
            return;
        case EntryOutcome::Failed:
            fail();
            return;
        case EntryOutcome::IsFolder:
            push(child, entry->d_name);
            return;
        }
    }

    // The listing is done: remove the folder itself from the folder below it.
    void finishFolder(int rootParentFd)
    {
        OpenFolder& folder = m_stack.back();
        const int parentFd = m_stack.size() > 1 ? dirfd(m_stack[m_stack.size() - 2].listing) : rootParentFd;
        const bool removed = unlinkat(parentFd, folder.name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT;
        if (!removed && isFolderNotEmpty(errno) && !folder.failedHere && !folder.rescanned) {
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

// The listing of the top folder, shared by the workers: each takes the next
// entry and removes it, a whole subtree at a time.
class SharedListing {
public:
    struct Entry {
        std::string name;
        unsigned char type;
    };

    explicit SharedListing(DIR* listing) : m_listing(listing) {}

    std::optional<Entry> next()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (;;) {
            errno = 0;
            const dirent* entry = readdir(m_listing);
            if (!entry) {
                if (errno != 0)
                    m_failed = true;
                return std::nullopt;
            }
            if (!isDotOrDotDot(entry->d_name))
                return Entry{entry->d_name, entry->d_type};
        }
    }

    void rewind()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        rewinddir(m_listing);
    }

    bool failed() const { return m_failed; }

private:
    DIR* m_listing;
    std::mutex m_mutex;
    bool m_failed = false;
};

// Two workers are enough to keep the file system busy; removal is bound by the
// kernel's work per unlink, not by this program.
bool useHelperThread()
{
    return std::thread::hardware_concurrency() > 1;
}

bool removeFolder(int parentFd, int fd, const std::string& name, dev_t device)
{
    DIR* top = fdopendir(fd);
    if (!top) {
        close(fd);
        return false;
    }
    SharedListing listing(top);
    std::atomic<bool> ok{true};
    auto removeEntry = [&](const SharedListing::Entry& entry) {
        int child = -1;
        switch (removeNonFolderOrOpen(dirfd(top), entry.name.c_str(), entry.type, device, child)) {
        case EntryOutcome::Removed:
            break;
        case EntryOutcome::Failed:
            ok = false;
            break;
        case EntryOutcome::IsFolder:
            if (!FolderWalk(device).run(dirfd(top), child, entry.name))
                ok = false;
            break;
        }
    };
    // Nothing may escape a worker: out of memory counts as a failed removal,
    // and the tool still gives its verdict.
    auto work = [&](std::optional<SharedListing::Entry> entry) noexcept {
        try {
            for (; entry; entry = listing.next())
                removeEntry(*entry);
        } catch (...) {
            ok = false;
        }
    };

    bool removed = false;
    for (int pass = 0; pass < 2; ++pass) {
        // A helper only pays off when there is more than one entry to share;
        // a single deep subtree is quicker without one.
        std::optional<SharedListing::Entry> first = listing.next();
        std::optional<SharedListing::Entry> second = first ? listing.next() : std::nullopt;
        std::thread helper;
        if (second && useHelperThread()) {
            try {
                helper = std::thread(work, second);
                second.reset();
            } catch (const std::system_error&) {
                // No thread to be had: this one does all the work.
            }
        }
        if (second)
            work(std::move(second));
        work(std::move(first));
        if (helper.joinable())
            helper.join();

        removed = unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT;
        if (removed || !isFolderNotEmpty(errno) || !ok || listing.failed())
            break;
        // Entries skipped by a listing that changed under it: one more pass.
        listing.rewind();
    }
    closedir(top);
    return removed && ok && !listing.failed();
}

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

    const bool removed = removeEntryAt(parentFd, name);
    close(parentFd);
    return removed;
}

bool removeEntryAt(int parentFd, const std::string& name)
{
    // The entry named by the list decides the file system that the walk keeps to.
    struct stat info;
    if (fstatat(parentFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    int folderFd = -1;
    switch (removeNonFolderOrOpen(parentFd, name.c_str(), S_ISDIR(info.st_mode) ? DT_DIR : DT_UNKNOWN, info.st_dev,
                                  folderFd)) {
    case EntryOutcome::Removed:
        return true;
    case EntryOutcome::Failed:
        return false;
    case EntryOutcome::IsFolder:
        return removeFolder(parentFd, folderFd, name, info.st_dev);
    }
    return false;
}
