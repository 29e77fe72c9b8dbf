#pragma once

#include <cstddef>

#include "FolderListing.h"
#include "RemovalPolicy.h"
#include "WorkerController.h"

namespace remover {

// How a tree is removed. The tool leaves everything at its default, chosen
// from the file system and the open-file limit, but for the policy of what
// may be entered; tests set the parts they need.
struct RemovalSettings {
    // Threads that all may run; 0: one at first, more while they raise the
    // rate of removal, up to what the file system and descriptors allow.
    unsigned workers = 0;
    WorkerController::Tuning pacing; // how the rate is measured when workers is 0
    std::size_t window = 0; // listings open per worker; 0: from the open-file limit
    ListingSource listings; // empty: each folder's own listing
    RemovalPolicy policy;
};

} // namespace remover
