#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>

namespace remover {

// What a removal may enter, beyond the rules that hold for every removal.
struct RemovalPolicy {
    // Under a home folder root removes only what the home's owner could remove
    // or what root left there: a folder of any other user is not entered, and
    // stays with everything in it. Empty: folders of any owner are entered.
    std::optional<uid_t> folderOwner;
    // Folders deeper than this below the entry are not entered: a chain that
    // a user keeps growing at its tip would otherwise keep root busy without
    // end.
    std::size_t maxDepth = 1000000;

    bool mayEnter(uid_t owner) const { return !folderOwner || owner == 0 || owner == *folderOwner; }
};

} // namespace remover
