#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "EntryIdentity.h"
#include "UniqueFd.h"

namespace remover {

// The walk is written against the descriptor calls directly: std::filesystem
// resolves paths, and a path inside a tree that another user may change can
// be turned into a link to anywhere between two calls.

// Every folder of the walk is opened relative to its parent, never through a
// link, and only as a folder. The path walk opens the folders on the way to
// an entry the same way.
const int kOpenFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The machine's root folder, where absolute paths are walked from.
inline UniqueFd openMachineRoot()
{
    return UniqueFd(open("/", kOpenFolderFlags));
}

// unlink(2) refuses folders with EISDIR on Linux and EPERM on the BSDs.
inline bool refusedBecauseFolder(int error)
{
    return error == EISDIR || error == EPERM;
}

inline bool isFolderNotEmpty(int error)
{
    return error == ENOTEMPTY || error == EEXIST;
}

// Opens the folder above `fd` and checks that it is the one recorded on the
// way down: a folder moved elsewhere meanwhile has another folder above it.
// Empty on failure, with errno set; 0 when another folder was found.
inline UniqueFd climbTo(int fd, const EntryIdentity& expected)
{
    UniqueFd above(openat(fd, "..", kOpenFolderFlags));
    if (!above)
        return above;
    const std::optional<EntryIdentity> found = identifyOpenFolder(above.get());
    if (!found || !isSameEntry(*found, expected)) {
        errno = found ? 0 : errno;
        return UniqueFd();
    }
    return above;
}

} // namespace remover
