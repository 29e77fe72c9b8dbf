#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>

#include "EntryIdentity.h"

namespace remover {

// What a removal may enter, beyond the rules that hold for every removal.
struct RemovalPolicy {
    // Under a home folder root removes only what the home's owner could remove
    // or what root left there: a folder of any other user is not entered, and
    // stays with everything in it. Empty: folders of any owner are entered.
    std::optional<uid_t> folderOwner;
    // Under a home folder root also has no reason to leave the home's own file
    // system: a folder on another one (a mount of the user's, which may be
    // served by a program that never answers) is refused before that file
    // system is asked anything. Empty: any file system on the way.
    std::optional<EntryIdentity> fileSystem;
    // Folders deeper than this below the entry are not entered: a chain that
    // a user keeps growing at its tip would otherwise keep root busy without
    // end.
    std::size_t maxDepth = 1000000;
    // Entries read from one folder, all its passes together. A folder that a
    // user keeps filling would otherwise keep root busy as long as they like;
    // four times the largest flat folder the benchmarks remove is far beyond
    // anything an uninstall meets.
    std::size_t maxEntriesPerFolder = std::size_t(1) << 22;

    bool mayEnter(uid_t owner) const { return !folderOwner || owner == 0 || owner == *folderOwner; }
};

} // namespace remover
