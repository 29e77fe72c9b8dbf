#pragma once

#include <cstddef>
#include <deque>
#include <vector>

#include "FolderListing.h"
#include "RemovalPolicy.h"
#include "UniqueFd.h"
#include "WorkerPool.h"

namespace remover {

// What every worker of one removal walks with.
struct WalkSettings {
    std::size_t window = 1; // listings this worker alone reads kept open at once
    ListingSource listings; // opens every listing of the walk
    RemovalPolicy policy; // which folders may be entered, and how deep
};

// One thread's depth-first walk: a chain of listings, each inside the one
// below it, except the first, which it took from the pool or began with.
// Only a window of the deepest listings is kept open; the others are closed
// and reached again by climbing back through "..".
class FolderWalk {
public:
    FolderWalk(WorkerPool& pool, const WalkSettings& settings)
        : m_pool(pool)
        , m_settings(settings)
    {
    }
    FolderWalk(const FolderWalk&) = delete;
    FolderWalk& operator=(const FolderWalk&) = delete;

    // Walks `first` (if any), then whatever the pool hands out, to the end.
    void run(ListingRef first) noexcept;

private:
    // A folder of the walk; its listing is closed while it lies below the
    // window, to be opened again by climbing back.
    struct Frame {
        NodeRef node;
        ListingRef listing;
    };

    void walk();
    void removeEntry(FolderListing& listing, const ListingEntry& entry);
    void descend(FolderListing& listing, const ListingEntry& entry);
    void offerTop();
    void push(Frame frame);
    void dropOldest();
    void finishTop();
    void climbBack(const FolderListing& done);
    bool finishListing(FolderListing& done);
    bool complete(NodeRef node, FolderListing& done, int parentFd, UniqueFd ownedParent);
    void startPass(const NodeRef& node, int nodeFd);
    void propagateFailure(NodeRef node);
    void abandon(FolderNode& node);
    void fail(FolderNode& node, RemovalStep step, int error, const std::string& entry = std::string());
    void failClimb(FolderNode& above);
    void releaseStack() noexcept;
    void checkStack() const;

    WorkerPool& m_pool;
    const WalkSettings& m_settings;
    std::deque<Frame> m_stack; // a deque: no doubled capacity at 10,000 levels
    std::vector<ListingEntry> m_run; // entries taken from the top listing, not yet removed
    std::size_t m_runAt = 0; // the next of them
    std::size_t m_open = 0; // open listings in the stack that this worker alone reads
    std::size_t m_firstOpen = 0; // no listing below this index may be closed any more
};

} // namespace remover
