#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "FolderListing.h"
#include "RemovalResult.h"
#include "WorkerController.h"

namespace remover {

using ListingRef = std::shared_ptr<FolderListing>;

// What the workers of one removal share: the listings offered for help, the
// helper threads, how many of them may run, and the verdict with the first
// failure.
class WorkerPool {
public:
    // `helper` is what each helper thread runs; it takes its work with take().
    // With `pacing`, a controller (WorkerController.h) lets workers run only
    // while they raise the rate of removed entries; without, all may run.
    WorkerPool(int topParentFd, unsigned maxWorkers, std::optional<WorkerController::Tuning> pacing,
        std::function<void(WorkerPool&)> helper);
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;
    ~WorkerPool();

    int topParentFd() const { return m_topParentFd; }
    long maxShared() const { return 2 * static_cast<long>(m_maxWorkers); }

    // Keeps the first failure; any failure makes the verdict failed.
    void fail(RemovalResult why);
    bool ok() const { return m_ok.load(); }
    RemovalResult firstFailure() const;
    void topRemoved() { m_topRemoved = true; }
    bool wasTopRemoved() const { return m_topRemoved; }

    // Cheap and unlocked: a stale answer only delays or wastes one offer.
    bool mayWantHelp() const { return m_wanted.load(std::memory_order_relaxed); }

    // One entry (file or folder) removed: what the controller measures.
    void countRemoved() { m_removed.fetch_add(1, std::memory_order_relaxed); }

    // Called by a busy worker between runs, with nothing taken that it has
    // not dealt with: feeds the controller now and then, and waits here while
    // more workers run than it allows.
    void pace();

    // Offers the rest of a listing to an idle or new worker. False when no
    // one would take it.
    bool offer(const ListingRef& listing);

    void sharedListingEnded();

    // The calling thread starts with work of its own.
    void startWorking();

    // Waits for a queued listing; empty when all the work is done. The
    // caller has no work of its own left.
    ListingRef take();

private:
    unsigned allowedLocked() const { return m_controller ? m_controller->allowed() : m_maxWorkers; }
    unsigned runningLocked() const { return m_busy - m_paused; }
    void updateWanted();
    void checkLocked() const;
    void runHelper() noexcept;

    const int m_topParentFd;
    const unsigned m_maxWorkers;
    const std::function<void(WorkerPool&)> m_helper;
    std::atomic<bool> m_ok { true };
    std::atomic<bool> m_topRemoved { false };
    std::atomic<bool> m_wanted { false };
    std::atomic<std::uint64_t> m_removed { 0 };
    std::atomic<WorkerController::Clock::rep> m_nextLook { 0 }; // when pace() next feeds the controller
    std::atomic<bool> m_tooMany { false }; // more workers run than allowed

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<ListingRef> m_queue;
    std::vector<std::thread> m_helpers;
    RemovalResult m_firstFailure;
    std::optional<WorkerController> m_controller;
    unsigned m_started = 1; // the calling thread
    unsigned m_idle = 0;
    unsigned m_busy = 0;
    unsigned m_paused = 0; // busy, waiting in pace() for their turn
    long m_sharedOpen = 0;
};

} // namespace remover
