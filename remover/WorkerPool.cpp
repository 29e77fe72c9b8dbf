#include "WorkerPool.h"

#include <algorithm>
#include <cerrno>

#include "EngineInvariants.h"

namespace remover {

namespace {

// How often pace() feeds the controller at most; its measurements are longer.
const std::chrono::milliseconds kLookEvery(1);

} // namespace

WorkerPool::WorkerPool(int topParentFd, unsigned maxWorkers, std::optional<WorkerController::Tuning> pacing,
    std::function<void(WorkerPool&)> helper)
    : m_topParentFd(topParentFd)
    , m_maxWorkers(maxWorkers)
    , m_helper(std::move(helper))
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (pacing && maxWorkers > 1)
        m_controller.emplace(maxWorkers, *pacing, WorkerController::Clock::now());
    updateWanted();
}

WorkerPool::~WorkerPool()
{
    for (std::thread& helper : m_helpers)
        helper.join();
}

void WorkerPool::fail(RemovalResult why)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_ok.exchange(false))
        m_firstFailure = std::move(why);
}

RemovalResult WorkerPool::firstFailure() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_firstFailure;
}

// Work is wanted for the workers that could start on it: idle or not yet
// started, and allowed to run beside the busy ones (paused ones included,
// which go on first).
void WorkerPool::updateWanted()
{
    const unsigned allowed = allowedLocked();
    const std::size_t mayRun = allowed > m_busy ? allowed - m_busy : 0;
    const std::size_t free = std::min<std::size_t>(mayRun, m_idle + (m_maxWorkers - m_started));
    m_wanted = m_queue.size() < free && m_sharedOpen < maxShared();
    m_tooMany = runningLocked() > allowed;
}

void WorkerPool::checkLocked() const
{
    ENGINE_CHECK(m_idle + m_busy <= m_started && m_started <= m_maxWorkers);
    ENGINE_CHECK(m_paused <= m_busy);
    ENGINE_CHECK(allowedLocked() >= 1 && allowedLocked() <= m_maxWorkers);
    ENGINE_CHECK(m_sharedOpen >= 0 && m_sharedOpen <= maxShared());
}

void WorkerPool::pace()
{
    if (!m_controller)
        return;
    const WorkerController::Clock::time_point now = WorkerController::Clock::now();
    const WorkerController::Clock::rep ticks = now.time_since_epoch().count();
    if (ticks < m_nextLook.load(std::memory_order_relaxed) && !m_tooMany.load(std::memory_order_relaxed))
        return;
    std::unique_lock<std::mutex> lock(m_mutex);
    if (ticks >= m_nextLook.load(std::memory_order_relaxed)) {
        m_nextLook = (now + kLookEvery).time_since_epoch().count();
        if (m_controller->update(m_removed.load(std::memory_order_relaxed), now)) {
            updateWanted();
            m_changed.notify_all();
        }
    }
    if (runningLocked() > allowedLocked()) {
        // What this worker holds waits with it; it goes on as soon as fewer
        // run than allowed, before any idle worker takes new work.
        ++m_paused;
        updateWanted();
        checkLocked();
        m_changed.wait(lock, [this] { return runningLocked() < allowedLocked(); });
        --m_paused;
        updateWanted();
    }
    checkLocked();
}

bool WorkerPool::offer(const ListingRef& listing)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ENGINE_CHECK(m_busy > 0); // P2: only a busy worker queues work
    if (!m_wanted || listing->queued)
        return false;
    if (!listing->shared) {
        listing->shared = true;
        ++m_sharedOpen;
    }
    listing->queued = true;
    m_queue.push_back(listing);
    if (m_idle > 0) {
        m_changed.notify_all(); // paused workers wait on it too
    } else if (m_started < m_maxWorkers) {
        try {
            m_helpers.emplace_back([this] { runHelper(); });
            ++m_started;
        } catch (...) {
            // No thread to be had: the queued listing waits for a worker.
        }
    }
    updateWanted();
    checkLocked();
    return true;
}

void WorkerPool::sharedListingEnded()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    --m_sharedOpen;
    updateWanted();
    checkLocked();
}

void WorkerPool::startWorking()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_busy;
    updateWanted();
    checkLocked();
}

ListingRef WorkerPool::take()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    --m_busy;
    ++m_idle;
    updateWanted();
    if (m_paused > 0)
        m_changed.notify_all(); // one of them may go on now
    // Paused workers count as busy: their work is not done, and one of them
    // goes on before an idle worker takes new work.
    m_changed.wait(lock, [this] { return (!m_queue.empty() && m_busy < allowedLocked()) || m_busy == 0; });
    --m_idle;
    if (m_queue.empty()) {
        ENGINE_CHECK(m_busy == 0); // P2
        m_changed.notify_all(); // everything is done: wake the others to end
        updateWanted();
        checkLocked();
        return nullptr;
    }
    ListingRef listing = std::move(m_queue.front());
    m_queue.pop_front();
    ENGINE_CHECK(listing->queued && listing->shared);
    listing->queued = false;
    ++m_busy;
    updateWanted();
    checkLocked();
    return listing;
}

void WorkerPool::runHelper() noexcept
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_busy; // balanced by the first take()
    }
    try {
        m_helper(*this);
    } catch (...) {
        // The walk itself lets nothing escape, but making a worker allocates
        // (its stack of folders): a helper that could not begin, before its
        // first take(), leaves its work to the others, which must not wait
        // for it.
        fail(failureOfCaughtException());
        std::lock_guard<std::mutex> lock(m_mutex);
        ENGINE_CHECK(m_busy > 0);
        --m_busy;
        updateWanted();
        m_changed.notify_all();
    }
}

} // namespace remover
