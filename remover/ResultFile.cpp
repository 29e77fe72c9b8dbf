#include "ResultFile.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

#include "PathWalk.h"

namespace remover {

namespace {

// Readable by the user who waits for it; the tool runs as root.
const mode_t kResultFileMode = 0644;
const int kNameAttempts = 100;

bool writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

// A new file in the folder, created exclusively (which never follows a link)
// under a name that nobody can guess beforehand.
int createUniqueFile(int folderFd, const std::string& name, std::string& created)
{
    std::random_device random;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        created = "." + name + "." + std::to_string(random());
        const int fd
            = openat(folderFd, created.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kResultFileMode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The file that this call has put at the path.
struct Placed {
    dev_t device = 0;
    ino_t inode = 0;
};

// Writes `contents` into a new file beside the path and renames it over the
// path. `placed` receives what now stands there.
bool replaceWithNewFile(int folderFd, const std::string& name, const std::string& contents, Placed* placed = nullptr)
{
    std::string temporary;
    const int fd = createUniqueFile(folderFd, name, temporary);
    if (fd < 0)
        return false;
    struct stat info;
    const bool written = fchmod(fd, kResultFileMode) == 0 && writeAll(fd, contents) && fstat(fd, &info) == 0;
    const bool closed = close(fd) == 0;
    if (written && closed && renameat(folderFd, temporary.c_str(), folderFd, name.c_str()) == 0) {
        if (placed)
            *placed = Placed { info.st_dev, info.st_ino };
        return true;
    }
    unlinkat(folderFd, temporary.c_str(), 0);
    return false;
}

bool isTrustedFolder(int folderFd, uid_t folderOwner)
{
    struct stat info;
    return fstat(folderFd, &info) == 0 && (info.st_uid == 0 || info.st_uid == folderOwner);
}

// True when the caller, by the account database, is in the group `group`:
// as its primary group or as a member.
bool isInGroup(uid_t caller, gid_t group)
{
    std::vector<char> userBuffer(16384), groupBuffer(65536);
    struct passwd user;
    struct passwd* foundUser = nullptr;
    if (getpwuid_r(caller, &user, userBuffer.data(), userBuffer.size(), &foundUser) != 0 || !foundUser)
        return false;
    if (foundUser->pw_gid == group)
        return true;
    struct group entry;
    struct group* foundGroup = nullptr;
    if (getgrgid_r(group, &entry, groupBuffer.data(), groupBuffer.size(), &foundGroup) != 0 || !foundGroup)
        return false;
    for (char** member = foundGroup->gr_mem; member && *member; ++member)
        if (std::strcmp(*member, foundUser->pw_name) == 0)
            return true;
    return false;
}

// True when the caller could create a file in the folder: the write and
// search bits of the class the caller falls in.
bool callerMayCreateIn(const struct stat& folder, uid_t caller)
{
    const mode_t needed = S_IWOTH | S_IXOTH;
    if (caller == 0 || folder.st_uid == caller)
        return ((folder.st_mode >> 6) & needed) == needed;
    if (isInGroup(caller, folder.st_gid))
        return ((folder.st_mode >> 3) & needed) == needed;
    return (folder.st_mode & needed) == needed;
}

// The caller's own folder, or a sticky one of root's such as /tmp that the
// caller may create files in (not a spool like root:crontab 1730).
bool isCallersFolder(int folderFd, uid_t caller)
{
    struct stat info;
    return fstat(folderFd, &info) == 0 && S_ISDIR(info.st_mode)
        && (info.st_uid == caller || (info.st_uid == 0 && (info.st_mode & S_ISVTX) && callerMayCreateIn(info, caller)));
}

// The empty file for a caller: a new file at the path, or a regular file of
// the caller's there replaced by one.
bool placeEmptyFileForCaller(int folderFd, const std::string& name, uid_t caller, Placed& placed)
{
    const int fd
        = openat(folderFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kResultFileMode);
    if (fd >= 0) {
        struct stat info;
        const bool ok = fchmod(fd, kResultFileMode) == 0 && fstat(fd, &info) == 0;
        const bool closed = close(fd) == 0;
        if (ok)
            placed = Placed { info.st_dev, info.st_ino };
        return ok && closed;
    }
    if (errno != EEXIST)
        return false;
    struct stat existing;
    if (fstatat(folderFd, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(existing.st_mode)
        || existing.st_uid != caller)
        return false;
    return replaceWithNewFile(folderFd, name, std::string(), &placed);
}

bool isStillPlaced(int folderFd, const std::string& name, const Placed& placed)
{
    struct stat info;
    return fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode)
        && info.st_dev == placed.device && info.st_ino == placed.inode;
}

// Opens the folder of an absolute file path the way the removal reaches its
// entries and, when `isFit` accepts it, writes through `write(folderFd, name)`.
template <typename Fit, typename Write> bool writeInFolderOf(const std::string& path, Fit isFit, Write write)
{
    const auto slash = path.find_last_of('/');
    if (path.empty() || path.front() != '/' || slash + 1 == path.size())
        return false;
    const std::string name = path.substr(slash + 1);
    if (name == "." || name == "..")
        return false;
    try {
        const OpenedFolder folder = openFolderFromRoot(path.substr(0, slash + 1));
        return folder.lookup == Lookup::Found && isFit(folder.folder.get()) && write(folder.folder.get(), name);
    } catch (...) {
        return false; // no randomness or no memory: no verdict rather than a crash
    }
}

} // namespace

bool writeResultFile(const std::string& path, const std::string& word, uid_t folderOwner)
{
    return writeInFolderOf(
        path, [&](int folderFd) { return isTrustedFolder(folderFd, folderOwner); },
        [&](int folderFd, const std::string& name) {
            // The empty file comes first: a reader that sees it knows the tool
            // has finished removing and is about to give its verdict.
            const bool created = replaceWithNewFile(folderFd, name, std::string());
            return replaceWithNewFile(folderFd, name, word) && created;
        });
}

bool writeResultFileForCaller(const std::string& path, const std::string& word, uid_t caller)
{
    return writeInFolderOf(
        path, [&](int folderFd) { return isCallersFolder(folderFd, caller); },
        [&](int folderFd, const std::string& name) {
            Placed placed;
            return placeEmptyFileForCaller(folderFd, name, caller, placed) && isStillPlaced(folderFd, name, placed)
                && replaceWithNewFile(folderFd, name, word);
        });
}

} // namespace remover
