#include "FolderWalk.h"

#include <algorithm>
#include <cerrno>
#include <new>

#include "EngineInvariants.h"
#include "FolderCalls.h"

namespace remover {

namespace {

// A folder that has shown this many files in a row is worth sharing.
const int kFilesBeforeSharing = 256;

// Entries a worker takes from a listing at once. Workers that share a large
// folder then unlink stretches of neighbouring inodes instead of taking turns
// on the same blocks of the inode table (docs/benchmarks.md, "What the
// engine's choices rest on").
const std::size_t kRunLength = 256;

// Passes over one folder at most. Some file systems skip entries of a folder
// that changes while it is listed, so a folder is read again while its passes
// still find something; a folder that another user keeps filling ends here.
const int kMaxPasses = 64;

bool mayReadAgain(const FolderNode& node)
{
    return node.passes < kMaxPasses && (node.passes == 1 || node.passFoundEntries.load());
}

} // namespace

void FolderWalk::run(ListingRef first) noexcept
{
    // Nothing may escape a worker: out of memory, or a thread that could not
    // be had, counts as a failed removal, and the tool still gives its
    // verdict. What the walk held stays behind.
    for (ListingRef next = std::move(first);;) {
        try {
            if (next && next->join(this)) {
                // Only the listing the removal begins with is not shared yet.
                m_open = next->shared ? 0 : 1;
                m_firstOpen = 0;
                NodeRef node = next->node;
                m_stack.push_back(Frame { std::move(node), std::move(next) });
                checkStack();
                walk();
            }
        } catch (...) {
            m_pool.fail(failureOfCaughtException());
            releaseStack();
        }
        next = m_pool.take();
        if (!next)
            return;
    }
}

// From the deepest frame down: each release then frees at most its own node,
// whose parent the frame below still holds.
void FolderWalk::releaseStack() noexcept
{
    m_run.clear();
    m_runAt = 0;
    while (!m_stack.empty()) {
        // Its pass never ends: the folder stays, with everything above it.
        m_stack.back().node->markFailed();
        m_stack.pop_back();
    }
    m_open = 0;
    m_firstOpen = 0;
}

void FolderWalk::walk()
{
    ListingEntry entry;
    while (!m_stack.empty()) {
        if (!m_stack.back().listing) {
            // A climb back failed and said why: nothing here is touched.
            ENGINE_CHECK(!m_pool.ok() && m_runAt == m_run.size());
            m_stack.pop_back();
            continue;
        }
        FolderListing& top = *m_stack.back().listing;
        if (m_runAt < m_run.size()) {
            entry = std::move(m_run[m_runAt++]);
            removeEntry(top, entry);
            continue;
        }
        // Between runs: where the pool measures the rate, and where a worker
        // beyond the count it allows waits.
        m_pool.pace();
        if (top.nextRun(m_run, kRunLength)) {
            m_runAt = 0;
            if (!top.node->countEntriesRead(m_run.size(), m_settings.policy.maxEntriesPerFolder)) {
                // Someone keeps filling the folder: leave it as it is.
                fail(*top.node, RemovalStep::TooManyEntries, 0);
                top.endEarly();
                m_run.clear();
                continue;
            }
            // A run of a small folder comes in listing order: in inode order
            // its files go block by block through the inode table, as those of
            // a large folder read ahead do.
            std::sort(m_run.begin(), m_run.end(),
                [](const ListingEntry& a, const ListingEntry& b) { return a.inode < b.inode; });
        } else {
            ENGINE_CHECK(m_run.empty());
            m_runAt = 0;
            finishTop();
        }
    }
}

void FolderWalk::removeEntry(FolderListing& listing, const ListingEntry& entry)
{
    if (listing.node->isSkipped(entry.name))
        return;
    // Unlink first and ask later: most entries are files, and the type read
    // from the listing may be stale anyway.
    if (entry.type != DT_DIR) {
        if (unlinkat(listing.fd(), entry.name.c_str(), 0) == 0 || errno == ENOENT) {
            m_pool.countRemoved();
            if (listing.countFileForSharing(kFilesBeforeSharing) && m_pool.mayWantHelp() && !listing.queued)
                offerTop();
            return;
        }
        if (!refusedBecauseFolder(errno)) {
            fail(*listing.node, RemovalStep::Unlink, errno, entry.name);
            return;
        }
    }
    descend(listing, entry);
}

void FolderWalk::descend(FolderListing& listing, const ListingEntry& entry)
{
    EnteredFolder child
        = enterFolder(listing.fd(), listing.node->identity, entry.name, listing.node->depth + 1, m_settings.policy);
    if (!child.folder) {
        if (!child.why.ok())
            fail(*listing.node, child.why.step, child.why.error, entry.name);
        return;
    }
    std::unique_ptr<EntryReader> reader = m_settings.listings(std::move(child.folder), entry.name);
    if (!reader) {
        fail(*listing.node, RemovalStep::ReadFolder, errno, entry.name);
        return;
    }
    NodeRef node = makeNode(listing.node, entry.name, child.identity);
    auto inner = std::make_shared<FolderListing>(node, std::move(reader));
    inner->join(this);
    ++listing.node->pending;
    // A run belongs to the top listing only; what is left of it waits there.
    if (m_runAt < m_run.size())
        listing.giveBack(m_run, m_runAt);
    m_run.clear();
    m_runAt = 0;
    // Before going down, offer the rest of this folder to an idle worker,
    // but only when there is a rest: a chain of single folders is quicker
    // walked by one thread.
    if (m_pool.mayWantHelp() && !listing.queued && listing.peekMore())
        offerTop();
    push(Frame { std::move(node), std::move(inner) });
}

void FolderWalk::offerTop()
{
    const ListingRef& top = m_stack.back().listing;
    const bool wasShared = top->shared;
    ENGINE_CHECK(wasShared || top->isOwnedBy(this)); // ownership
    if (m_pool.offer(top) && !wasShared)
        --m_open;
}

void FolderWalk::push(Frame frame)
{
    ENGINE_CHECK(m_run.empty());
    ENGINE_CHECK(m_stack.empty() || frame.node->parent.get() == m_stack.back().node.get());
    m_stack.push_back(std::move(frame));
    m_firstOpen = std::min(m_firstOpen, m_stack.size() - 1);
    if (++m_open > m_settings.window)
        dropOldest();
    checkStack();
}

void FolderWalk::dropOldest()
{
    for (; m_firstOpen + 1 < m_stack.size(); ++m_firstOpen) {
        ListingRef& listing = m_stack[m_firstOpen].listing;
        if (listing && !listing->shared) {
            ENGINE_CHECK(listing->isOwnedBy(this)); // ownership
            listing.reset();
            --m_open;
            return;
        }
    }
}

void FolderWalk::finishTop()
{
    ListingRef done = std::move(m_stack.back().listing);
    m_stack.pop_back();
    if (!done->shared)
        --m_open;

    climbBack(*done);
    const bool hasParentFrame = !m_stack.empty();
    const std::size_t parentIndex = m_stack.size() - 1;
    const bool removed = finishListing(*done);
    // A folder finished but not removed stays in the parent's listing. Read
    // again from its start (after a later climb back), that listing would
    // meet it again and walk it a second time: a failed folder, or worse,
    // one in which other workers are still busy.
    if (!removed && hasParentFrame) {
        Frame& parent = m_stack[parentIndex];
        if (!parent.listing || !parent.listing->shared) {
            ENGINE_CHECK(!parent.listing || parent.listing->isOwnedBy(this)); // ownership
            parent.node->skip(done->node->name);
            ENGINE_CHECK(parent.node->isSkipped(done->node->name)); // W4
        }
    }
    checkStack();
}

// When the folder below was closed to save descriptors, climbs back to it
// from `done`, which is still open, and reads it again from its start.
void FolderWalk::climbBack(const FolderListing& done)
{
    if (m_stack.empty() || m_stack.back().listing)
        return;
    Frame& below = m_stack.back();
    UniqueFd above = climbTo(done.fd(), below.node->identity);
    if (!above) {
        failClimb(*below.node);
        return;
    }
    std::unique_ptr<EntryReader> reader = m_settings.listings(std::move(above), below.node->name);
    if (!reader) {
        fail(*below.node, RemovalStep::ReadFolder, errno);
        return;
    }
    below.listing = std::make_shared<FolderListing>(below.node, std::move(reader));
    below.listing->join(this);
    ++m_open;
    m_firstOpen = std::min(m_firstOpen, m_stack.size() - 1);
}

// Leaves the ended listing `done`; the last reader to leave finishes the pass.
// True when this removed its folder.
bool FolderWalk::finishListing(FolderListing& done)
{
    if (!done.leave())
        return false; // others still read it; the last of them goes on
    if (done.shared)
        m_pool.sharedListingEnded();
    if (const int error = done.readError())
        fail(*done.node, RemovalStep::ReadFolder, error);
    // The count left by this decrement: read again, another worker may
    // already have brought it to 0.
    if (done.node->releasePending(this) != 0)
        return false; // a worker still removes a folder inside it

    const FolderNode& node = *done.node;
    if (!node.parent)
        return complete(done.node, done, m_pool.topParentFd(), UniqueFd());
    if (!m_stack.empty()) {
        // The folder below in the stack is the one this lies in; without a
        // listing, the climb back to it failed and was reported.
        const Frame& below = m_stack.back();
        ENGINE_CHECK(below.node.get() == node.parent.get());
        if (!below.listing) {
            abandon(*done.node);
            return false;
        }
        return complete(done.node, done, below.listing->fd(), UniqueFd());
    }
    UniqueFd above = climbTo(done.fd(), node.parent->identity);
    if (!above) {
        failClimb(*node.parent);
        abandon(*done.node);
        return false;
    }
    const int aboveFd = above.get();
    return complete(done.node, done, aboveFd, std::move(above));
}

// Nothing that this run removes is left in `node`, whose ended pass is
// `done`: remove it from the folder above it, and go on upwards while that
// was the last thing pending there. True when `node` itself was removed.
bool FolderWalk::complete(NodeRef node, FolderListing& done, int parentFd, UniqueFd ownedParent)
{
    int nodeFd = done.fd();
    UniqueFd ownedNode;
    bool removedFirst = false;
    for (;;) {
        ENGINE_CHECK(node->isOwnedBy(this)); // N2
        if (node->hasFailed()) {
            propagateFailure(std::move(node));
            return removedFirst;
        }
        if (unlinkat(parentFd, node->name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
            const int error = errno;
            if (isFolderNotEmpty(error) && mayReadAgain(*node)) {
                // Only the folder and the one being opened in it are held
                // beside the window (W5).
                ownedParent.reset();
                startPass(node, nodeFd);
            } else {
                fail(*node, RemovalStep::RemoveFolder, error);
                propagateFailure(std::move(node));
            }
            return removedFirst;
        }
        m_pool.countRemoved();
        if (!removedFirst) {
            // Held open, a removed folder keeps every removed folder above it
            // in the kernel's cache, and each removal further up walks them
            // all again: a chain would take time quadratic in its depth.
            done.close();
            removedFirst = true;
        }
        if (!node->parent) {
            m_pool.topRemoved();
            return true;
        }
        if (node->parent->releasePending(this) != 0)
            return true;
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
            failClimb(*node->parent);
            abandon(*node);
            return true;
        }
        parentFd = ownedParent.get();
    }
}

// A failed folder stays, and so does every folder around it.
void FolderWalk::propagateFailure(NodeRef node)
{
    ENGINE_CHECK(!m_pool.ok() && node->isOwnedBy(this)); // N2, N3
    while (node->parent) {
        node->parent->markFailed();
        if (node->parent->releasePending(this) != 0)
            return;
        node = node->parent;
    }
}

// The folder is done with, but the way to the folder above it is lost (a
// climb failed and was reported): it stays, and so does everything above it,
// whose count this never lowers.
void FolderWalk::abandon(FolderNode& node)
{
    ENGINE_CHECK(!m_pool.ok() && node.isOwnedBy(this)); // N2, N3
}

// The folder was found not empty after a pass: read it once more, through its
// own descriptor, as a new frame on top of the folder it lies in (or alone).
void FolderWalk::startPass(const NodeRef& node, int nodeFd)
{
    std::unique_ptr<EntryReader> reader;
    if (UniqueFd self(openat(nodeFd, ".", kOpenFolderFlags)); self)
        reader = m_settings.listings(std::move(self), node->name);
    if (!reader) {
        fail(*node, RemovalStep::ReadFolder, errno);
        propagateFailure(node);
        return;
    }
    ENGINE_CHECK(mayReadAgain(*node)); // N4
    node->beginPass(this);
    auto listing = std::make_shared<FolderListing>(node, std::move(reader));
    listing->join(this);
    push(Frame { node, std::move(listing) });
}

// A climb to `above` failed: climbTo left errno set, or 0 when it found
// another folder there. Nothing in `above` is touched from here on.
void FolderWalk::failClimb(FolderNode& above)
{
    const int error = errno;
    fail(above, error != 0 ? RemovalStep::ClimbBack : RemovalStep::ClimbFoundAnotherFolder, error);
    ENGINE_CHECK(!m_pool.ok()); // W3
}

void FolderWalk::fail(FolderNode& node, RemovalStep step, int error, const std::string& entry)
{
    // Only the first failure is kept: later ones need no path.
    if (m_pool.ok()) {
        std::string where = node.pathFromTop();
        if (!entry.empty())
            where = where.empty() ? entry : where + "/" + entry;
        m_pool.fail(removalFailure(step, error, std::move(where)));
    }
    node.markFailed();
}

void FolderWalk::checkStack() const
{
#if ENGINE_CHECKS_ON
    ENGINE_CHECK(m_open <= m_settings.window);
    std::size_t open = 0;
    for (std::size_t i = std::min(m_firstOpen, m_stack.size()); i < m_stack.size(); ++i) {
        const ListingRef& listing = m_stack[i].listing;
        if (listing && !listing->shared)
            ++open;
    }
    ENGINE_CHECK(open == m_open);
    if (m_firstOpen > 0 && m_firstOpen <= m_stack.size()) {
        const ListingRef& below = m_stack[m_firstOpen - 1].listing;
        ENGINE_CHECK(!below || below->shared);
    }
#endif
}

} // namespace remover
