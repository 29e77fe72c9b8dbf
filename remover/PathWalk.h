#pragma once

#include <string>

#include "RemovalPolicy.h"
#include "RemovalResult.h"
#include "UniqueFd.h"

namespace remover {

enum class Lookup {
    Found,
    Absent, // a component is missing or is not a folder
    Failed, // anything else: no rights, a name too long, a loop, a refused link
};

struct OpenedFolder {
    Lookup lookup = Lookup::Failed;
    UniqueFd folder; // open when Found
    // When Failed: the rule or the call that stopped the walk, with its errno,
    // and the path walked up to and including the component where it stopped.
    RemovalResult why;
};

// Opens a folder by a path relative to `startFd`, one component at a time,
// without ever letting the kernel follow a symbolic link: the tool runs as
// root over folders that the user controls, and a path resolved in one call
// can be led anywhere by a link on the way.
//
// A link on the way is followed by reading it and walking its target the same
// way, and only when the link belongs to root (and has no second name), or
// when the folder it leads to belongs to the link's own owner: a user may have moved a folder of theirs
// elsewhere and left a link, but may not lead root into folders of root's or
// of other users. A link in a file system of process views (Linux's /proc,
// whose links jump into other mount namespaces) is never followed. An absolute
// target is walked from the machine's root folder, "/". A mount point of a
// file system served by a program (UntrustedMounts.h) is never opened: the
// walk fails there.
//
// Under a home folder (`rules` from rulesUnderHome) every folder on the way
// must belong to the home's owner or to root, a link of root's is followed
// only where root also owns the folder that holds it (who owns a link says
// nothing about who put it where it stands), and the walk does not leave the
// home's file system: the folder reached must lie on it.
OpenedFolder openFolderBeneath(int startFd, const std::string& relativePath, const RemovalPolicy& rules = {});

// The same for the folder that holds `entryName`. When a folder on the way
// exists but cannot be opened for want of rights, the rest of the path and
// the entry are looked up by name: the result is Absent when one of them
// provably does not exist, else Failed.
OpenedFolder openParentOfEntry(
    int startFd, const std::string& relativePath, const std::string& entryName, const RemovalPolicy& rules = {});

// What a walk and a removal under the home folder open as `homeFd` may enter:
// folders of the home's owner and of root, on the home's file system.
RemovalPolicy rulesUnderHome(int homeFd);

// The same from the machine's root folder, for an absolute path.
OpenedFolder openFolderFromRoot(const std::string& absolutePath);

} // namespace remover
