#include "WorkerPool.h"

#include <cerrno>

#include "EngineInvariants.h"

namespace remover {

WorkerPool::WorkerPool(int topParentFd, unsigned maxWorkers, std::function<void(WorkerPool&)> helper)
    : m_topParentFd(topParentFd)
    , m_maxWorkers(maxWorkers)
    , m_helper(std::move(helper))
{
    std::lock_guard<std::mutex> lock(m_mutex);
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

void WorkerPool::updateWanted()
{
    const std::size_t free = m_idle + (m_maxWorkers - m_started);
    m_wanted = m_queue.size() < free && m_sharedOpen < maxShared();
}

void WorkerPool::checkLocked() const
{
    ENGINE_CHECK(m_idle + m_busy <= m_started && m_started <= m_maxWorkers);
    ENGINE_CHECK(m_sharedOpen >= 0 && m_sharedOpen <= maxShared());
}

bool WorkerPool::offer(const ListingRef& listing)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_wanted || listing->queued)
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
    checkLocked();
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
        // A helper that could not begin leaves its work to the others, which
        // must not wait for it.
        fail(removalFailure(RemovalStep::OutOfMemory, ENOMEM));
        std::lock_guard<std::mutex> lock(m_mutex);
        --m_busy;
        updateWanted();
        m_changed.notify_all();
    }
}

} // namespace remover
