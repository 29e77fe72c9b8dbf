#include "FolderTreeRemoval.h"

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "EngineInvariants.h"
#include "FolderWalk.h"
#include "InodeOrder.h"
#include "WorkerPool.h"

namespace remover {

namespace {

// Workers at most; how many of them run is measured in each removal.
const unsigned kMaxWorkers = 4;
// Descriptors left to the rest of the program and to the caller.
const long kReservedDescriptors = 16;
// Folders open at once per worker at most; deeper ones are climbed back to.
const long kMaxWindow = 64;
// What one worker needs at the least (W5 and P3 in EngineInvariants.h): a
// window of one listing, two more at a time, and its share of the shared
// listings (two).
const long kLeastDescriptorsPerWorker = 5;

// In memory the processors are the limit: more workers than processors only
// contend for the folder's lock (docs/benchmarks.md, "What the engine's
// choices rest on"). On storage more
// workers than processors may keep more reads in flight; whether they help
// there is left to the controller (WorkerController.h), which measures it.
unsigned workersForFileSystem(int folderFd)
{
    if (!isInMemoryFileSystem(folderFd))
        return kMaxWorkers;
    return std::max(1u, std::min(std::thread::hardware_concurrency(), kMaxWorkers));
}

// Descriptors the removal may use, below the soft limit of open files.
long descriptorBudget()
{
    struct rlimit limit;
    long soft = 1024;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        soft = static_cast<long>(std::min<rlim_t>(limit.rlim_cur, 1 << 20));
    return soft - kReservedDescriptors;
}

// Fewer workers when descriptors are few, down to one: one worker with a
// window of one removes any tree, while four that run out of descriptors
// leave folders behind.
unsigned workersToUse(int folderFd, long budget)
{
    const long affordable = std::max(1L, budget / kLeastDescriptorsPerWorker);
    return static_cast<unsigned>(std::min<long>(workersForFileSystem(folderFd), affordable));
}

// Open listings per worker such that all workers together stay below the
// budget, whatever depth the tree has.
std::size_t descriptorWindow(unsigned workers, long budget)
{
    const long shared = 2 * static_cast<long>(workers);
    // Each worker also holds two more at a time (W5).
    const long perWorker = (budget - shared) / static_cast<long>(workers) - 2;
    return static_cast<std::size_t>(std::clamp(perWorker, 1L, kMaxWindow));
}

std::unique_ptr<EntryReader> openOwnListing(UniqueFd folder, const std::string&)
{
    return EntryReader::open(std::move(folder));
}

// Each folder's own listing; on storage a large folder's in inode order, with
// at most one read-ahead batch per worker held at once.
ListingSource defaultListings(int folderFd, unsigned workers)
{
    if (isInMemoryFileSystem(folderFd))
        return openOwnListing;
    auto budget = std::make_shared<BatchBudget>(static_cast<int>(workers));
    return [budget](UniqueFd folder, const std::string&) -> std::unique_ptr<EntryReader> {
        ListingPtr listing = openListing(std::move(folder));
        if (!listing)
            return nullptr;
        return std::make_unique<InodeOrderReader>(std::move(listing), budget, InodeOrderLimits {});
    };
}

} // namespace

RemovalResult removeFolderTree(
    int parentFd, const std::string& name, int folderFd, const EntryIdentity& folder, const RemovalSettings& settings)
{
    UniqueFd owned(folderFd);
    try {
        const long budget = descriptorBudget();
        const bool fixedCount = settings.workers > 0;
        const unsigned workers = fixedCount ? settings.workers : workersToUse(owned.get(), budget);
        WalkSettings walk;
        walk.window = settings.window > 0 ? settings.window : descriptorWindow(workers, budget);
        walk.listings = settings.listings ? settings.listings : defaultListings(owned.get(), workers);
        walk.policy = settings.policy;

        std::unique_ptr<EntryReader> reader = walk.listings(std::move(owned), name);
        if (!reader)
            return removalFailure(RemovalStep::ReadFolder, errno);
        auto top = std::make_shared<FolderListing>(makeNode(NodeRef(), name, folder), std::move(reader));
        // The settings outlive the pool, whose destructor joins the helpers.
        std::optional<WorkerController::Tuning> pacing;
        if (!fixedCount)
            pacing = settings.pacing;
        WorkerPool pool(
            parentFd, workers, pacing, [&walk](WorkerPool& shared) { FolderWalk(shared, walk).run(nullptr); });
        pool.startWorking();
        FolderWalk(pool, walk).run(std::move(top));
        if (!pool.ok())
            return pool.firstFailure();
        // Liveness: with nothing failed, every count came down to 0, the top
        // folder's last.
        ENGINE_CHECK(pool.wasTopRemoved());
        if (!pool.wasTopRemoved())
            return removalFailure(RemovalStep::RemoveFolder, 0); // nothing failed, yet the folder stayed
        return RemovalResult {};
    } catch (...) {
        return failureOfCaughtException();
    }
}

} // namespace remover
