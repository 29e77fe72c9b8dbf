#include "JobPlatformToolCheck.h"

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

// As many links as the kernel itself follows in one look-up.
const int kMaxLinks = 40;

bool ownedByTrusted(const struct stat& entry, uid_t user)
{
    return entry.st_uid == 0 || entry.st_uid == user;
}

bool othersMayWrite(const struct stat& entry)
{
    return (entry.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

bool isSticky(const struct stat& entry)
{
    return S_ISDIR(entry.st_mode) && (entry.st_mode & S_ISVTX) != 0;
}

// Pushes the components of `path` so that the first comes off the back first.
void pushComponents(const std::string& path, std::vector<std::string>* pending)
{
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start)
            components.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    pending->insert(pending->end(), components.rbegin(), components.rend());
}

std::string parentOf(const std::string& folder)
{
    const std::size_t slash = folder.rfind('/');
    return slash == 0 ? std::string("/") : folder.substr(0, slash);
}

bool readLink(const std::string& path, std::string* target)
{
    std::vector<char> buffer(4096);
    const ssize_t length = readlink(path.c_str(), buffer.data(), buffer.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size())
        return false;
    target->assign(buffer.data(), static_cast<std::size_t>(length));
    return true;
}

} // namespace

bool isToolOnlyChangeableBy(const std::string& path, uid_t user)
{
    if (path.empty() || path.front() != '/')
        return false;
    // `current` is resolved and every folder from "/" down to it has passed.
    std::string current = "/";
    struct stat folder;
    if (lstat("/", &folder) != 0 || !ownedByTrusted(folder, user) || othersMayWrite(folder))
        return false;
    std::vector<std::string> pending;
    pushComponents(path, &pending);
    int links = 0;
    while (!pending.empty()) {
        const std::string name = pending.back();
        pending.pop_back();
        if (name == ".")
            continue;
        if (name == "..") {
            current = parentOf(current);
            if (lstat(current.c_str(), &folder) != 0)
                return false;
            continue;
        }
        if (!S_ISDIR(folder.st_mode))
            return false;
        const std::string next = current == "/" ? "/" + name : current + "/" + name;
        struct stat entry;
        if (lstat(next.c_str(), &entry) != 0 || !ownedByTrusted(entry, user))
            return false;
        if (othersMayWrite(folder) && !isSticky(folder))
            return false; // others could put something else in its place
        if (S_ISLNK(entry.st_mode)) {
            std::string target;
            if (++links > kMaxLinks || !readLink(next, &target))
                return false;
            pushComponents(target, &pending);
            if (target.front() == '/') {
                current = "/";
                lstat("/", &folder);
            }
            continue;
        }
        if (othersMayWrite(entry) && !isSticky(entry))
            return false;
        current = next;
        folder = entry;
    }
    return S_ISREG(folder.st_mode);
}
