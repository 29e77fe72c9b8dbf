#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <optional>
#include <string>

#include "EntryIdentity.h"
#include "RemovalPolicy.h"
#include "RemovalResult.h"
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

// What came of entering a folder of the tree.
struct EnteredFolder {
    UniqueFd folder; // open when it may be entered
    EntryIdentity identity; // of the folder entered
    // Ok when there was nothing to enter: the entry is gone, or it was no
    // longer a folder (a link or a file put in its place) and was unlinked.
    // Otherwise why the folder stays unentered, with everything in it.
    RemovalResult why;
};

// The one rule by which the removal enters a folder: `name` inside the folder
// open as `parentFd`, `depth` levels below the entry the removal began with.
// A folder deeper than the policy's bound, or a mount point of a file system
// served by a program (not even looked at), is not entered. Otherwise it is
// opened relative to its parent without following a link, and where the
// platform allows a mount point there is refused before the file system
// mounted on it is asked anything; what stands there instead of a folder is
// unlinked. The folder entered must not be the root of
// a mount nor lie on another one (`parent`: the parent's identity, or read
// from `parentFd` when not given), and the policy must allow its owner.
EnteredFolder enterFolder(int parentFd, const std::optional<EntryIdentity>& parent, const std::string& name,
    std::size_t depth, const RemovalPolicy& policy);

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
