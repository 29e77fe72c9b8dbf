#include "ResultFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

#include "PathWalk.h"

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

bool replaceWithNewFile(int folderFd, const std::string& name, const std::string& contents)
{
    std::string temporary;
    const int fd = createUniqueFile(folderFd, name, temporary);
    if (fd < 0)
        return false;
    const bool written = fchmod(fd, kResultFileMode) == 0 && writeAll(fd, contents);
    const bool closed = close(fd) == 0;
    if (written && closed && renameat(folderFd, temporary.c_str(), folderFd, name.c_str()) == 0)
        return true;
    unlinkat(folderFd, temporary.c_str(), 0);
    return false;
}

bool isTrustedFolder(int folderFd, uid_t folderOwner)
{
    struct stat info;
    return fstat(folderFd, &info) == 0 && (info.st_uid == 0 || info.st_uid == folderOwner);
}

} // namespace

bool writeResultFile(const std::string& path, const std::string& word, uid_t folderOwner)
{
    const auto slash = path.find_last_of('/');
    if (path.empty() || path.front() != '/' || slash + 1 == path.size())
        return false;
    const std::string name = path.substr(slash + 1);
    if (name == "." || name == "..")
        return false;
    try {
        const OpenedFolder folder = openFolderFromRoot(path.substr(0, slash + 1));
        if (folder.lookup != Lookup::Found || !isTrustedFolder(folder.folder.get(), folderOwner))
            return false;
        // The empty file comes first: a reader that sees it knows the tool has
        // finished removing and is about to give its verdict.
        const bool created = replaceWithNewFile(folder.folder.get(), name, std::string());
        return replaceWithNewFile(folder.folder.get(), name, word) && created;
    } catch (...) {
        return false; // no randomness or no memory: no verdict rather than a crash
    }
}
