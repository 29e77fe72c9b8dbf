#include "WorkerController.h"

#include <algorithm>

namespace remover {

WorkerController::WorkerController(unsigned most, const Tuning& tuning, Clock::time_point start)
    : m_most(std::max(1u, most))
    , m_tuning(tuning)
    , m_upHold(tuning.firstHold)
    , m_upLeft(1)
    , m_downHold(tuning.firstHold)
    , m_downLeft(tuning.firstHold)
    , m_since(start)
{
}

bool WorkerController::update(std::uint64_t removed, Clock::time_point now)
{
    const Clock::duration elapsed = now - m_since;
    const std::uint64_t count = removed - m_removedSince;
    if (m_most == 1 || elapsed < m_tuning.probe || count < m_tuning.probeEntries)
        return false;
    const double rate = static_cast<double>(count) / std::chrono::duration<double>(elapsed).count();
    m_since = now;
    m_removedSince = removed;
    const unsigned before = m_allowed;
    if (m_allowed == m_settled)
        settledMeasurement(rate);
    else if (m_warmingUp)
        // The first measurement of a try has the workers start, stop and
        // share out work: it is not judged.
        m_warmingUp = false;
    else
        endTry(rate);
    return m_allowed != before;
}

void WorkerController::settledMeasurement(double rate)
{
    if (!m_startedUp) {
        // The first measurement has the removal start up (a large folder's
        // read-ahead, the first thread made): only slow, it is no baseline.
        m_startedUp = true;
        return;
    }
    std::copy_backward(m_recent, m_recent + kBaseline - 1, m_recent + kBaseline);
    m_recent[0] = rate;
    m_recentCount = std::min(m_recentCount + 1, kBaseline);
    --m_upLeft;
    --m_downLeft;
    // One fewer first: it is the cheap try, and the one that undoes a worker
    // kept on a stretch where it helped.
    if (m_settled > 1 && m_downLeft <= 0)
        startTry(m_settled - 1);
    else if (m_settled < m_most && m_upLeft <= 0)
        startTry(m_settled + 1);
}

void WorkerController::endTry(double rate)
{
    m_tryRates[m_judged++] = rate;
    // One more worker must raise the rate clearly, one fewer must merely not
    // lower it (fewer workers contend less). Both judged measurements must
    // find it so: one lucky measurement (the disk's journal written out in
    // another, other programs busy) changes nothing.
    const bool up = m_allowed > m_settled;
    const double needed = up ? baseline() * m_tuning.gain : baseline();
    const bool better = up ? rate > needed : rate >= needed;
    if (better && m_judged < 2)
        return;
    if (!better) {
        int& hold = up ? m_upHold : m_downHold;
        // A worker too many slows the removal for a while after it stopped
        // as well (on xfs for about five measurements), so tries of one more
        // that failed soon become rare.
        hold = up ? std::min(4 * hold, m_tuning.longestHold) : std::min(2 * hold, m_tuning.longestDownHold);
        (up ? m_upLeft : m_downLeft) = hold;
        m_allowed = m_settled;
        return;
    }
    settle(m_allowed);
    // Go on the same way at once: a count far from the best one should not
    // cost a wait per step.
    if (up && m_settled < m_most)
        startTry(m_settled + 1);
    else if (!up && m_settled > 1)
        startTry(m_settled - 1);
}

void WorkerController::settle(unsigned count)
{
    m_settled = count;
    m_recent[0] = m_tryRates[1];
    m_recent[1] = m_tryRates[0];
    m_recentCount = 2;
    // A count just reached by adding is tried one fewer again soon; one just
    // reached by dropping waits as long before one more as it did before.
    m_downHold = m_tuning.firstHold;
    m_downLeft = m_downHold;
    m_upLeft = m_upHold;
}

void WorkerController::startTry(unsigned count)
{
    m_allowed = count;
    m_warmingUp = true;
    m_judged = 0;
}

double WorkerController::baseline() const
{
    double sum = 0;
    for (int i = 0; i < m_recentCount; ++i)
        sum += m_recent[i];
    return m_recentCount > 0 ? sum / m_recentCount : 0;
}

} // namespace remover
