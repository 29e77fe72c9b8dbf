#include "FolderRemoval.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "FolderListing.h"
#include "UntrustedMounts.h"

// The walk is written against the descriptor calls directly: std::filesystem
// resolves paths, and a path inside a tree that another user may change can
// be turned into a link to anywhere between two calls.

namespace {

// Workers at most. On storage a worker spends most of its time waiting for the
// file system's journal, so more workers than processors keep it busy: on two
// processors and ext4, four workers took a wide tree in 0.44 of rm's time and
// two in 0.68. Beyond four was not measured.
const unsigned kMaxWorkers = 4;
// Descriptors left to the rest of the program and to the caller.
const long kReservedDescriptors = 16;
// Folders open at once per worker at most; deeper ones are climbed back to.
const long kMaxWindow = 64;
// A folder that has shown this many files in a row is worth sharing.
const int kFilesBeforeSharing = 256;

bool isFolderNotEmpty(int error)
{
    return error == ENOTEMPTY || error == EEXIST;
}

// In memory the processors are the limit: more workers than processors only
// contend for the folder's lock (a flat folder on tmpfs took 0.64 of rm's
// time with four workers on two processors, 0.54 with two).
unsigned workersToUse(int folderFd)
{
    if (!isInMemoryFileSystem(folderFd))
        return kMaxWorkers;
    return std::max(1u, std::min(std::thread::hardware_concurrency(), kMaxWorkers));
}

// Open listings per worker such that all workers together stay well below the
// soft limit of open files, whatever depth the tree has.
std::size_t descriptorWindow(unsigned workers, long sharedListings)
{
    struct rlimit limit;
    long soft = 1024;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        soft = static_cast<long>(std::min<rlim_t>(limit.rlim_cur, 1 << 20));
    // Each worker also holds a folder being opened and one climbed to.
    const long perWorker = (soft - kReservedDescriptors - sharedListings) / static_cast<long>(workers) - 2;
    return static_cast<std::size_t>(std::clamp(perWorker, 1L, kMaxWindow));
}

// Opens the folder above `fd` and checks that it is the one recorded on the
// way down: a folder moved elsewhere meanwhile has another folder above it.
UniqueFd climbTo(int fd, const EntryIdentity& expected)
{
    UniqueFd above(openat(fd, "..", kOpenFolderFlags));
    if (!above)
        return above;
    const std::optional<EntryIdentity> found = identifyOpenFolder(above.get());
    if (!found || !isSameFolder(*found, expected))
        return UniqueFd();
    return above;
}

using ListingRef = std::shared_ptr<FolderListing>;

// What the workers share: the listings offered for help, and the verdict.
class WorkerPool {
public:
    WorkerPool(int topParentFd, unsigned maxWorkers, const RemovalPolicy& policy)
        : m_topParentFd(topParentFd)
        , m_maxWorkers(maxWorkers)
        , m_policy(policy)
    {
        updateWanted();
    }
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    ~WorkerPool()
    {
        for (std::thread& helper : m_helpers)
            helper.join();
    }

    int topParentFd() const { return m_topParentFd; }
    const RemovalPolicy& policy() const { return m_policy; }
    void fail() { m_ok = false; }
    bool ok() const { return m_ok; }
    void topRemoved() { m_topRemoved = true; }
    bool wasTopRemoved() const { return m_topRemoved; }

    // Cheap and unlocked: a stale answer only delays or wastes one offer.
    bool mayWantHelp() const { return m_wanted.load(std::memory_order_relaxed); }

    // Offers the rest of a listing to an idle or new worker. False when no
    // one would take it.
    bool offer(const ListingRef& listing) { return put(listing, false); }

    // Queues a listing that must be read by someone, needed or not.
    void hand(const ListingRef& listing) { put(listing, true); }

    void sharedListingEnded()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        --m_sharedOpen;
        updateWanted();
    }

    // Waits for a queued listing; empty when all the work is done. The
    // caller has no work of its own left.
    ListingRef take();

    void startWorking()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_busy;
    }

    long maxShared() const { return 2 * static_cast<long>(m_maxWorkers); }

private:
    bool put(const ListingRef& listing, bool always);
    void updateWanted()
    {
        const std::size_t free = m_idle + (m_maxWorkers - m_started);
        m_wanted = m_queue.size() < free && m_sharedOpen < maxShared();
    }
    void runHelper() noexcept;

    const int m_topParentFd;
    const unsigned m_maxWorkers;
    const RemovalPolicy m_policy;
    std::atomic<bool> m_ok { true };
    std::atomic<bool> m_topRemoved { false };
    std::atomic<bool> m_wanted { false };

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<ListingRef> m_queue;
    std::vector<std::thread> m_helpers;
    unsigned m_started = 1; // the calling thread
    unsigned m_idle = 0;
    unsigned m_busy = 0;
    long m_sharedOpen = 0;
};

// One thread's depth-first walk: a chain of listings, each inside the one
// below it, except the first, which it took from the pool.
class Worker {
public:
    Worker(WorkerPool& pool, std::size_t window)
        : m_pool(pool)
        , m_window(window)
    {
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Walks `first` (if any), then whatever the pool hands out, to the end.
    void run(ListingRef first) noexcept;

private:
    void walk();
    void removeEntry(FolderListing& listing, const ListingEntry& entry);
    void descend(FolderListing& listing, const ListingEntry& entry);
    void offerTop();
    struct Frame;
    void push(Frame frame);
    void dropOldest();
    void finishTop();
    bool climbBack(const FolderListing& done);
    void finishListing(FolderListing& done);
    void complete(std::shared_ptr<FolderNode> node, int nodeFd, int parentFd, UniqueFd ownedParent);
    void rescan(const std::shared_ptr<FolderNode>& node, int nodeFd);
    void fail(FolderNode& node)
    {
        node.failed = true;
        m_pool.fail();
    }
    void propagateFailure(std::shared_ptr<FolderNode> node);

    WorkerPool& m_pool;
    const std::size_t m_window;
    // A folder of the walk; its listing is closed while it lies below the
    // window, to be opened again by climbing back.
    struct Frame {
        std::shared_ptr<FolderNode> node;
        ListingRef listing;
    };
    std::deque<Frame> m_stack; // a deque: no doubled capacity at 10,000 levels
    std::size_t m_open = 0; // open listings in the stack that this worker alone reads
    std::size_t m_firstOpen = 0; // no listing below this index may be closed any more
};

bool WorkerPool::put(const ListingRef& listing, bool always)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!always && (!m_wanted || listing->queued))
        return false;
    if (!listing->shared) {
        listing->shared = true;
        ++m_sharedOpen;
    }
    listing->queued = true;
    m_queue.push_back(listing);
    if (m_idle > 0) {
        m_changed.notify_one();
    } else if (m_started < m_maxWorkers) {
        try {
            m_helpers.emplace_back([this] { runHelper(); });
            ++m_started;
        } catch (...) {
            // No thread to be had: the queued listing waits for a worker.
        }
    }
    updateWanted();
    return true;
}

ListingRef WorkerPool::take()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    --m_busy;
    ++m_idle;
    updateWanted();
    m_changed.wait(lock, [this] { return !m_queue.empty() || m_busy == 0; });
    --m_idle;
    if (m_queue.empty()) {
        m_changed.notify_all(); // everything is done: wake the others to end
        updateWanted();
        return nullptr;
    }
    ListingRef listing = std::move(m_queue.front());
    m_queue.pop_front();
    listing->queued = false;
    ++m_busy;
    updateWanted();
    return listing;
}

void WorkerPool::runHelper() noexcept
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_busy; // balanced by the first take()
    }
    Worker(*this, descriptorWindow(m_maxWorkers, maxShared())).run(nullptr);
}

void Worker::run(ListingRef first) noexcept
{
    // Nothing may escape a worker: out of memory counts as a failed removal,
    // and the tool still gives its verdict. What the walk held stays behind.
    for (ListingRef next = std::move(first);;) {
        try {
            if (next && next->join()) {
                m_stack.push_back(Frame { next->node, std::move(next) });
                m_firstOpen = 0;
                walk();
            }
        } catch (...) {
            m_pool.fail();
            m_stack.clear();
            m_open = 0;
        }
        next = m_pool.take();
        if (!next)
            return;
    }
}

void Worker::walk()
{
    ListingEntry entry;
    while (!m_stack.empty()) {
        if (!m_stack.back().listing) {
            // A climb back found another folder: nothing here is touched.
            m_pool.fail();
            m_stack.pop_back();
            continue;
        }
        FolderListing& top = *m_stack.back().listing;
        if (top.next(entry))
            removeEntry(top, entry);
        else
            finishTop();
    }
}

void Worker::removeEntry(FolderListing& listing, const ListingEntry& entry)
{
    if (listing.node->isSkipped(entry.name))
        return;
    // Unlink first and ask later: most entries are files, and the type read
    // from the listing may be stale anyway.
    if (entry.type != DT_DIR) {
        if (unlinkat(listing.fd(), entry.name.c_str(), 0) == 0 || errno == ENOENT) {
            if (listing.countFileForSharing(kFilesBeforeSharing) && m_pool.mayWantHelp() && !listing.queued)
                offerTop();
            return;
        }
        if (!refusedBecauseFolder(errno)) {
            fail(*listing.node);
            return;
        }
    }
    descend(listing, entry);
}

void Worker::descend(FolderListing& listing, const ListingEntry& entry)
{
    if (listing.node->depth >= m_pool.policy().maxDepth || isUntrustedMountPoint(listing.fd(), entry.name)) {
        fail(*listing.node);
        return;
    }
    UniqueFd child(openat(listing.fd(), entry.name.c_str(), kOpenFolderFlags));
    if (!child) {
        if (errno == ENOENT)
            return;
        // Swapped for a link or a file since it was listed: remove that.
        if ((errno == ELOOP || errno == ENOTDIR)
            && (unlinkat(listing.fd(), entry.name.c_str(), 0) == 0 || errno == ENOENT))
            return;
        fail(*listing.node);
        return;
    }
    const std::optional<EntryIdentity> identity = identifyOpenFolder(child.get());
    if (!identity || crossesMount(listing.node->identity, *identity) || !m_pool.policy().mayEnter(identity->owner)) {
        fail(*listing.node);
        return;
    }
    ListingPtr dir = openListing(std::move(child));
    if (!dir) {
        fail(*listing.node);
        return;
    }
    auto node = std::make_shared<FolderNode>(listing.node, entry.name, *identity);
    auto inner = std::make_shared<FolderListing>(node, std::move(dir));
    inner->join();
    ++listing.node->pending;
    // Before going down, offer the rest of this folder to an idle worker,
    // but only when there is a rest: a chain of single folders is quicker
    // walked by one thread.
    if (m_pool.mayWantHelp() && !listing.queued && listing.peekMore())
        offerTop();
    push(Frame { std::move(node), std::move(inner) });
}

void Worker::offerTop()
{
    const ListingRef& top = m_stack.back().listing;
    const bool wasShared = top->shared;
    if (m_pool.offer(top) && !wasShared)
        --m_open;
}

void Worker::push(Frame frame)
{
    m_stack.push_back(std::move(frame));
    m_firstOpen = std::min(m_firstOpen, m_stack.size() - 1);
    if (++m_open > m_window)
        dropOldest();
}

void Worker::dropOldest()
{
    for (; m_firstOpen + 1 < m_stack.size(); ++m_firstOpen) {
        ListingRef& listing = m_stack[m_firstOpen].listing;
        if (listing && !listing->shared) {
            listing.reset();
            --m_open;
            return;
        }
    }
}

void Worker::finishTop()
{
    ListingRef done = std::move(m_stack.back().listing);
    m_stack.pop_back();
    if (!done->shared)
        --m_open;

    const bool reopened = climbBack(*done);
    finishListing(*done);
    // Read again from its start, the folder below would find this one again.
    if (reopened && done->node->failed)
        m_stack.back().node->skip(done->node->name);
}

// The folder below was closed to save descriptors: climb back to it from
// `done`, which is still open. True when it was opened again.
bool Worker::climbBack(const FolderListing& done)
{
    if (m_stack.empty() || m_stack.back().listing)
        return false;
    Frame& below = m_stack.back();
    ListingPtr dir = openListing(climbTo(done.fd(), below.node->identity));
    if (!dir)
        return false;
    below.listing = std::make_shared<FolderListing>(below.node, std::move(dir));
    below.listing->join();
    ++m_open;
    m_firstOpen = std::min(m_firstOpen, m_stack.size() - 1);
    return true;
}

void Worker::finishListing(FolderListing& done)
{
    if (!done.leave())
        return; // others still read it; the last of them goes on
    if (done.shared)
        m_pool.sharedListingEnded();
    if (--done.node->pending != 0)
        return; // a worker still removes a folder inside it

    const FolderNode& node = *done.node;
    if (!node.parent) {
        complete(done.node, done.fd(), m_pool.topParentFd(), UniqueFd());
    } else if (!m_stack.empty()) {
        // The folder below in the stack is the one this lies in.
        if (m_stack.back().listing)
            complete(done.node, done.fd(), m_stack.back().listing->fd(), UniqueFd());
        else
            m_pool.fail();
    } else {
        UniqueFd above = climbTo(done.fd(), node.parent->identity);
        if (!above) {
            m_pool.fail();
            return;
        }
        const int aboveFd = above.get();
        complete(done.node, done.fd(), aboveFd, std::move(above));
    }
}

// Nothing that this run removes is left in `node`: remove it from the folder
// above it, and go on upwards while that was the last thing pending there.
void Worker::complete(std::shared_ptr<FolderNode> node, int nodeFd, int parentFd, UniqueFd ownedParent)
{
    UniqueFd ownedNode;
    for (;;) {
        if (node->failed) {
            propagateFailure(std::move(node));
            return;
        }
        if (unlinkat(parentFd, node->name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
            if (isFolderNotEmpty(errno) && !node->rescanned) {
                rescan(node, nodeFd);
            } else {
                node->failed = true;
                propagateFailure(std::move(node));
            }
            return;
        }
        if (!node->parent) {
            m_pool.topRemoved();
            return;
        }
        if (--node->parent->pending != 0)
            return;
        // The folder above is no longer listed by anyone: its own parent is
        // reached by climbing.
        node = node->parent;
        ownedNode = std::move(ownedParent);
        nodeFd = parentFd;
        if (!node->parent) {
            parentFd = m_pool.topParentFd();
            continue;
        }
        ownedParent = climbTo(nodeFd, node->parent->identity);
        if (!ownedParent) {
            m_pool.fail();
            return;
        }
        parentFd = ownedParent.get();
    }
}

// A failed folder stays, and so does every folder around it. They are marked
// so that a folder read again after a climb back does not walk them again.
void Worker::propagateFailure(std::shared_ptr<FolderNode> node)
{
    m_pool.fail();
    for (; node->parent; node = node->parent) {
        node->parent->failed = true;
        if (--node->parent->pending != 0)
            return;
    }
}

// Some file systems skip entries when a folder changes while it is listed:
// read it once more, through its own descriptor, before giving up on it.
void Worker::rescan(const std::shared_ptr<FolderNode>& node, int nodeFd)
{
    ListingPtr dir = openListing(UniqueFd(openat(nodeFd, ".", kOpenFolderFlags)));
    if (!dir) {
        node->failed = true;
        propagateFailure(node);
        return;
    }
    node->rescanned = true;
    node->pending = 1;
    // Queued rather than pushed: the stack holds only folders inside each other.
    m_pool.hand(std::make_shared<FolderListing>(node, std::move(dir)));
}

} // namespace

bool removeFolderTree(
    int parentFd, const std::string& name, int folderFd, const EntryIdentity& folder, const RemovalPolicy& policy)
{
    UniqueFd owned(folderFd);
    try {
        const unsigned workers = workersToUse(owned.get());
        ListingPtr dir = openListing(std::move(owned));
        if (!dir)
            return false;
        WorkerPool pool(parentFd, workers, policy);
        auto top = std::make_shared<FolderListing>(std::make_shared<FolderNode>(nullptr, name, folder), std::move(dir));
        pool.startWorking();
        Worker(pool, descriptorWindow(workers, pool.maxShared())).run(std::move(top));
        return pool.ok() && pool.wasTopRemoved();
    } catch (...) {
        return false;
    }
}
