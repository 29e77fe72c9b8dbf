#pragma once

// The rules that hold the removal engine together. They span the folder nodes
// (FolderNode.h), the listings (FolderListing.h), the pool (WorkerPool.h) with
// its controller (WorkerController.h) and each worker's walk (FolderWalk.h);
// every change to one of them must keep all of them. ENGINE_CHECK tests them
// in debug builds and in the sanitizer builds of the test command
// (TW_ENGINE_CHECKS); release builds compile them away.
//
// Folder nodes
//  N1 `pending` = 1 while a pass over the folder has readers or may still get
//     them, plus 1 for each folder inside it that was entered and is not yet
//     finished (removed or given up). It never goes below 0.
//  N2 Whoever brings `pending` to 0 owns the node from then on: it alone
//     removes the folder, starts another pass over it, or gives it up.
//     `passes` and the skip list's reset are touched only by that owner.
//  N3 `failed` only ever goes from false to true, and a failure has been
//     reported to the pool before it is set. A failed folder is never
//     removed; its parent is marked failed when it is given up, so the chain
//     above a failure stays, up to and including the folder the removal
//     started with.
//  N4 `passes` <= kMaxPasses; a pass after the second only follows a pass
//     that found entries, so a folder that keeps showing nothing new ends.
//  N5 A node is freed when its last reference goes; a chain of parents is
//     freed in a loop (NodeRef), never with one nested call per level.
//
// Listings (one pass over one folder)
//  L1 A reader joins before it reads and leaves only after it saw the end;
//     the last to leave finishes the pass (N1's 1). An ended listing cannot
//     be joined.
//  L2 `shared` only goes from false to true. A shared listing is never closed
//     early and never read again from its start, so its folder's skip list is
//     no longer written. It counts in the pool's shared listings until its
//     last reader leaves.
//  L3 `queued` is true exactly while the listing waits in the pool's queue.
//  L4 Read-ahead batches held at once (InodeOrder.h) <= the budget given for
//     the removal, one per worker by default; a reader that gets none goes on
//     in listing order. A batch goes back when it is used up or its reader
//     closes.
//  L5 An entry taken from a listing in a run is removed, given up as
//     failed, or given back to the listing before its reader takes another
//     run; only the readers' runs and the listing hold entries of a pass, so
//     none is lost or read twice by its readers.
//  L6 A pass's folder is closed as soon as the folder is removed, before any
//     folder above it is: held open, a removed folder keeps the removed
//     folders above it in the kernel's cache, and each removal further up
//     would walk them all again.
//
// The pool
//  P1 idle + busy <= started <= the most workers; the calling thread counts
//     as started.
//  P2 The work is done when no worker is busy and the queue is empty; only a
//     busy worker queues work, so nothing is queued after that.
//  P3 Shared listings open at once <= twice the most workers (they hold
//     descriptors beyond the workers' windows).
//  P4 1 <= allowed <= the most workers. Allowed is the controller's count
//     (WorkerController.h), which sees nothing but the count of removed
//     entries and the monotonic clock; with a fixed count there is no
//     controller and all may run.
//  P5 Paused workers are busy ones that wait in pace() between runs (W6: with
//     no run taken), holding their stack; paused <= busy. Running (busy, not
//     paused) workers exceed allowed only until each reaches its next pace().
//     An idle worker takes queued work only while busy < allowed, so a paused
//     worker goes on before new work starts; offers are wanted only for such
//     room.
//  P6 Whenever running < allowed, the paused workers are woken (the count
//     rose, or a worker went idle): since allowed >= 1, a removal with paused
//     workers always has one that may go on, and pausing never stalls it nor
//     ends it early (P2 counts the paused as busy).
//
// One worker's walk
//  W1 The stack is a chain: each frame's folder lies in the folder of the
//     frame below it; the bottom frame is whatever the worker took or began.
//  W2 `m_open` = the frames whose listing is open and not shared, and
//     m_open <= the window. Every frame below `m_firstOpen` is closed or
//     shared.
//  W3 A closed frame is only reopened by climbing from the folder above it,
//     checked against the device and inode recorded on the way down; a
//     climb that fails leaves it closed, reports, and the frame is dropped
//     without touching anything in it.
//  W4 A folder that was finished but not removed is put in its parent's skip
//     list while the parent's listing is not shared, so a reading of the
//     parent again from its start never walks it a second time (it failed, or
//     other workers are still busy below it).
//  W5 Descriptors held by one worker: its open non-shared listings (<= the
//     window) plus at most two at a time (a folder being opened, a folder
//     climbed to).
//  W6 A worker's run belongs to its top frame: the run is empty whenever a
//     frame is pushed or the top frame is finished (what was left of it went
//     back to its listing first).

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
