#include "JobPlatformToolCheck.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "PosixFiles.h"

namespace {

// As many links as the kernel itself follows in one look-up.
const int kMaxLinks = 40;

bool isMemberOf(uid_t owner, gid_t group)
{
    const struct passwd* account = getpwuid(owner);
    if (!account)
        return false;
    if (account->pw_gid == group)
        return true;
    const std::string name = account->pw_name;
    const struct group* entry = getgrgid(group);
    for (char** member = entry ? entry->gr_mem : nullptr; member && *member; ++member) {
        if (name == *member)
            return true;
    }
    return false;
}

// An administrator who installed the bundle owns it; they may become root
// anyway.
bool ownedByTrusted(const struct stat& entry, uid_t user, std::optional<gid_t> administrators)
{
    return entry.st_uid == 0 || entry.st_uid == user || (administrators && isMemberOf(entry.st_uid, *administrators));
}

bool othersMayWrite(const struct stat& entry, std::optional<gid_t> administrators)
{
    const bool groupMayWrite = (entry.st_mode & S_IWGRP) != 0 && (!administrators || entry.st_gid != *administrators);
    return groupMayWrite || (entry.st_mode & S_IWOTH) != 0;
}

bool isSticky(const struct stat& entry)
{
    return S_ISDIR(entry.st_mode) && (entry.st_mode & S_ISVTX) != 0;
}

// Pushes the components of `path` so that the first comes off the back first.
void pushComponents(const std::string& path, std::vector<std::string>* pending)
{
    std::vector<std::string> components;
    for (const std::filesystem::path& part : std::filesystem::path(path).relative_path()) {
        if (!part.empty())
            components.push_back(part.string());
    }
    pending->insert(pending->end(), components.rbegin(), components.rend());
}

} // namespace

bool isToolOnlyChangeableBy(const std::string& path, uid_t user, std::optional<gid_t> administrators, std::string* why)
{
    const auto refuse = [why](const char* rule, const std::string& where) {
        if (why)
            *why = std::string(rule) + ": " + where;
        return false;
    };
    if (path.empty() || path.front() != '/')
        return refuse("not an absolute path", path);
    // `current` is resolved and every folder from "/" down to it has passed.
    std::string current = "/";
    struct stat folder;
    if (lstat("/", &folder) != 0 || !ownedByTrusted(folder, user, administrators)
        || othersMayWrite(folder, administrators))
        return refuse("owned or writable by others", "/");
    std::vector<std::string> pending;
    pushComponents(path, &pending);
    int links = 0;
    while (!pending.empty()) {
        const std::string name = pending.back();
        pending.pop_back();
        if (name == ".")
            continue;
        if (name == "..") {
            current = std::filesystem::path(current).parent_path().string();
            if (lstat(current.c_str(), &folder) != 0)
                return refuse("cannot be looked at", current);
            continue;
        }
        if (!S_ISDIR(folder.st_mode))
            return refuse("not a folder on the way", current);
        const std::string next = current == "/" ? "/" + name : current + "/" + name;
        struct stat entry;
        if (lstat(next.c_str(), &entry) != 0)
            return refuse("cannot be looked at", next);
        if (!ownedByTrusted(entry, user, administrators))
            return refuse("owned by another user", next);
        if (othersMayWrite(folder, administrators) && !isSticky(folder))
            return refuse("folder writable by others", current); // they could put something else in its place
        if (S_ISLNK(entry.st_mode)) {
            const std::optional<std::string> read = ++links > kMaxLinks ? std::nullopt : readLink(next);
            if (!read || read->empty())
                return refuse("link not followed", next);
            const std::string& target = *read;
            pushComponents(target, &pending);
            if (target.front() == '/') {
                current = "/";
                lstat("/", &folder);
            }
            continue;
        }
        if (othersMayWrite(entry, administrators) && !isSticky(entry))
            return refuse("writable by others", next);
        current = next;
        folder = entry;
    }
    return S_ISREG(folder.st_mode) || refuse("not a regular file", current);
}
