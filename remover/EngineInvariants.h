#pragma once

// The rules that hold the removal engine together. They span the folder nodes
// (FolderNode.h), the listings (FolderListing.h), the pool (WorkerPool.h) with
// its controller (WorkerController.h) and each worker's walk (FolderWalk.h);
// every change to one of them must keep all of them. ENGINE_CHECK tests them
// in debug builds and wherever TW_ENGINE_CHECKS is on, which the test
// command's builds all are; the shipped build compiles them away. Each rule
// says where it is checked ("checked:"), or why it cannot be and what shows it
// instead. docs/removal-engine.md tells the same story in prose: the life of
// a folder and who owns what.
//
// Folder nodes
//  N1 `pending` = 1 while a pass over the folder has readers or may still get
//     them, plus 1 for each folder inside it that was entered and is not yet
//     finished (removed, given up or abandoned). It never goes below 0.
//     Checked: FolderNode::releasePending, the one place it is lowered.
//  N2 Whoever brings `pending` to 0 owns the node from then on: it alone
//     removes the folder, starts another pass over it, gives it up (N3) or
//     abandons it. `passes` and the skip list's reset are touched only by
//     that owner, in FolderNode::beginPass. Checked: FolderWalk::complete,
//     FolderWalk::propagateFailure, FolderWalk::abandon and FolderNode::beginPass
//     (FolderNode::isOwnedBy).
//  N3 `failed` only ever goes from false to true (FolderNode::markFailed is
//     the only way to change it: not checked, nothing can undo it), and a
//     failure has been reported to the pool before it is set. A failed
//     folder is never removed; its parent is marked failed when it is given
//     up, so the chain above a failure stays, up to and including the folder
//     the removal started with. A folder whose way to its parent is lost (a
//     climb failed and was reported) is abandoned: its parent's count stays
//     above 0 for good, so nothing above it is removed either. Checked:
//     FolderWalk::propagateFailure, FolderWalk::abandon, FolderWalk::failClimb.
//  N4 `passes` <= kMaxPasses; a pass after the second only follows a pass
//     that found entries, so a folder that keeps showing nothing new ends.
//     Checked: FolderWalk::startPass.
//  N5 A node is freed when its last reference goes; a chain of parents is
//     freed in a loop (NodeRef), never with one nested call per level.
//     Checked: NodeRef::releaseChain (no reference is released twice); that
//     the loop needs no stack per level cannot be checked as it runs, and
//     RemovalEngine.DeepChainsOnSmallThreadStacks shows it.
//
// Listings (one pass over one folder)
//  L1 A reader joins before it reads and leaves only after it saw the end;
//     the last to leave finishes the pass (N1's 1). An ended listing cannot
//     be joined. Checked: FolderListing::nextRun and FolderListing::leave.
//  L2 `shared` only goes from false to true (only WorkerPool::offer sets
//     it). A shared listing is never closed early and never read again from
//     its start, so its folder's skip list is no longer written. It counts
//     in the pool's shared listings until its last reader leaves. Checked:
//     FolderWalk::dropOldest and FolderWalk::finishTop (through the ownership rule),
//     WorkerPool::checkLocked (the count).
//  L3 `queued` is true exactly while the listing waits in the pool's queue.
//     Checked: WorkerPool::take.
//  L4 Read-ahead batches held at once (InodeOrder.h) <= the budget given for
//     the removal, one per worker by default; a reader that gets none goes on
//     in listing order. A batch goes back when it is used up or its reader
//     closes. Checked: BatchBudget::give.
//  L5 An entry taken from a listing in a run is removed, given up as
//     failed, or given back to the listing before its reader takes another
//     run; only the readers' runs and the listing hold entries of a pass, so
//     none is lost or read twice by its readers. Checked: FolderWalk::walk (the
//     run is used up before the next) and W6.
//  L6 A pass's folder is closed as soon as the folder is removed, before any
//     folder above it is: held open, a removed folder keeps the removed
//     folders above it in the kernel's cache, and each removal further up
//     would walk them all again. Checked: FolderListing::close (only an
//     ended pass without readers is closed); that it comes before the removal
//     above is a matter of order, not of state, and
//     RemovalEngine.AFinishedFolderIsClosedBeforeTheFoldersAboveItAreRemoved
//     shows it.
//  Ownership: a listing that is not shared lies on exactly one worker's
//     stack, the worker that joined it first, and only that worker may offer
//     it, close it early or write its folder's skip list. Checked:
//     FolderListing::join (no second reader before it is shared),
//     FolderWalk::offerTop, FolderWalk::dropOldest, FolderWalk::finishTop.
//  Liveness: every reader that joins a listing leaves it once it saw the
//     end, or, the one reader of a listing that is not shared, closes it
//     early; so every pass ends and every count reaches 0. Only a worker that
//     met an exception drops what it holds, after marking its folders failed.
//     Checked: FolderListing's destructor (no shared listing goes unended)
//     and removeFolderTree (a removal that nothing failed has removed its
//     folder: a count that never reached 0 shows there).
//
// The pool
//  P1 idle + busy <= started <= the most workers; the calling thread counts
//     as started. Checked: WorkerPool::checkLocked.
//  P2 The work is done when no worker is busy and the queue is empty; only a
//     busy worker queues work, so nothing is queued after that. Checked:
//     WorkerPool::offer and WorkerPool::take.
//  P3 Shared listings open at once <= twice the most workers (they hold
//     descriptors beyond the workers' windows). Checked:
//     WorkerPool::checkLocked.
//  P4 1 <= allowed <= the most workers. Allowed is the controller's count
//     (WorkerController.h), which sees nothing but the count of removed
//     entries and the monotonic clock; with a fixed count there is no
//     controller and all may run. Checked: WorkerPool::checkLocked.
//  P5 Paused workers are busy ones that wait in pace() between runs (W6: with
//     no run taken), holding their stack; paused <= busy. Running (busy, not
//     paused) workers exceed allowed only until each reaches its next pace().
//     An idle worker takes queued work only while busy < allowed, so a paused
//     worker goes on before new work starts; offers are wanted only for such
//     room. Checked: WorkerPool::checkLocked (paused <= busy); the rest is the
//     condition each wait in WorkerPool::pace and WorkerPool::take waits on.
//  P6 Whenever running < allowed, the paused workers are woken (the count
//     rose, or a worker went idle): since allowed >= 1, a removal with paused
//     workers always has one that may go on, and pausing never stalls it nor
//     ends it early (P2 counts the paused as busy). Not checked as it runs: a
//     wake-up that is missing shows only as a wait without end, which
//     RemovalEngine.WorkersThatComeAndGoRemoveEverything would meet (the
//     test command's time limit then fails it).
//
// One worker's walk
//  W1 The stack is a chain: each frame's folder lies in the folder of the
//     frame below it; the bottom frame is whatever the worker took or began.
//     Checked: FolderWalk::push, FolderWalk::finishListing.
//  W2 `m_open` = the frames whose listing is open and not shared, and
//     m_open <= the window. Every frame below `m_firstOpen` is closed or
//     shared. Checked: FolderWalk::checkStack.
//  W3 A closed frame is only reopened by climbing from the folder above it,
//     checked against the device and inode recorded on the way down
//     (climbTo); a climb that fails leaves it closed, reports, and the frame
//     is dropped without touching anything in it. Checked: FolderWalk::failClimb
//     and FolderWalk::walk.
//  W4 A folder that was finished but not removed is put in its parent's skip
//     list while the parent's listing is not shared, so a reading of the
//     parent again from its start never walks it a second time (it failed, or
//     other workers are still busy below it). Checked: FolderWalk::finishTop.
//  W5 Descriptors held by one worker: its open non-shared listings (<= the
//     window) plus at most two at a time: a folder being opened, a folder
//     climbed to, or the folder just finished (its listing, whose shared
//     count is given back when its last reader leaves, stays open until its
//     folder is done with). Another pass over a folder is opened only after
//     the folder climbed to above it was let go. FolderTreeRemoval.cpp sizes the
//     workers and the window by this rule (kLeastDescriptorsPerWorker).
//     Not checked as the walk runs: a count would have to follow every
//     descriptor through its moves between locals, listings and frames, and
//     asking the system costs a call per folder. The descriptors are opened
//     in five places only (FolderWalk::descend, climbBack, finishListing,
//     complete and startPass), each of which keeps the rule, and
//     RemovalEngine.FewDescriptorsMeanFewerWorkersNotFailures removes trees,
//     folders read again after climbs among them, under open-file limits
//     that leave exactly what this rule promises.
//  W6 A worker's run belongs to its top frame: the run is empty whenever a
//     frame is pushed or the top frame is finished (what was left of it went
//     back to its listing first). Checked: FolderWalk::push and FolderWalk::walk.

#if !defined(NDEBUG) || defined(TW_ENGINE_CHECKS)
#include <cstdio>
#include <cstdlib>
#define ENGINE_CHECK(condition)                                                                                        \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "removal engine rule broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__);          \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)
#define ENGINE_CHECKS_ON 1
#else
#define ENGINE_CHECK(condition)                                                                                        \
    do {                                                                                                               \
        (void)sizeof(condition);                                                                                       \
    } while (false)
#define ENGINE_CHECKS_ON 0
#endif
