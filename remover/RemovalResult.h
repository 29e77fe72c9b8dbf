#pragma once

#include <string>

namespace remover {

// The step of a removal that failed. Kept as a value so that a test, or a
// program that explains a run, can tell why something stayed; the tool itself
// only turns it into its verdict.
enum class RemovalStep {
    None, // nothing failed
    NotAName, // the entry's name is empty, "." or "..", or holds a '/'
    LookUp, // looking the entry (or a folder on the way to it) up
    LinkNotFollowed, // a link on the way that may not lead where it points
    Unlink, // removing a file or a link
    OpenFolder, // opening a folder inside the tree
    IdentifyFolder, // reading an open folder's device, inode and mount
    MountRoot, // a folder is the root of a mount, or lies on another one
    UntrustedMount, // a mount point of a file system served by a program
    OtherUsersFolder, // a folder of neither the home's owner nor root, under the home
    TooDeep, // a folder deeper than the walk's bound
    TooManyEntries, // a folder that showed more entries than the walk's bound
    ReadFolder, // opening or reading a folder's listing
    RemoveFolder, // removing a folder that should have been empty
    ClimbBack, // opening the folder above on the way back
    ClimbFoundAnotherFolder, // the folder above is not the one met on the way down
    OutOfMemory,
    Unexpected, // any other exception of the libraries, such as a thread refused
};

// The outcome of one removal: either nothing failed, or the first failure met,
// with the errno it gave (0 where a rule and no call stopped it) and the path
// of the folder or file where it happened: relative to the entry ("" for the
// entry itself), or, for a look-up on the way to the entry, relative to the
// folder the look-up began at.
struct RemovalResult {
    RemovalStep step = RemovalStep::None;
    int error = 0;
    std::string where;

    bool ok() const { return step == RemovalStep::None; }
};

inline RemovalResult removalFailure(RemovalStep step, int error, std::string where = std::string())
{
    return RemovalResult { step, error, std::move(where) };
}

// Inside a catch block: what the exception being handled stands for, out of
// memory or another error, with the errno it carries where it has one.
RemovalResult failureOfCaughtException();

// A short name of the step: "unlink", "read folder" ...
const char* stepName(RemovalStep step);

// One line for a person: "unlink of a/b: Operation not permitted".
std::string describe(const RemovalResult& result);

} // namespace remover
