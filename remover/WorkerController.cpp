#include "WorkerController.h"

#include <algorithm>

namespace remover {

WorkerController::WorkerController(unsigned most, const Tuning& tuning, Clock::time_point start)
    : m_most(std::max(1u, most))
    , m_tuning(tuning)
    , m_hold(tuning.firstHold)
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

    if (m_allowed != m_settled && m_warmingUp) {
        // The first measurement of a try has the workers start, stop and
        // share out work: it is not judged.
        m_warmingUp = false;
        return false;
    }
    if (m_allowed != m_settled) {
        // The end of a try: one more worker must raise the rate clearly, one
        // fewer must merely not lower it (fewer workers contend less).
        const bool up = m_allowed > m_settled;
        const bool better = up ? rate > m_settledRate * m_tuning.gain : rate >= m_settledRate;
        // Twice in a row: one lucky measurement (the disk's journal written
        // out in the other, other programs busy) changes nothing.
        if (better && ++m_wins < 2)
            return false;
        if (better) {
            m_settled = m_allowed;
            m_settledRate = rate;
            m_hold = m_tuning.firstHold;
            // Go on the same way at once: a count far from the best one
            // should not cost a wait per step.
            if (up && m_settled < m_most)
                startTry(m_settled + 1);
            else if (!up && m_settled > 1)
                startTry(m_settled - 1);
            else
                m_holdLeft = m_hold;
        } else {
            m_allowed = m_settled;
            m_hold = std::min(2 * m_hold, m_tuning.longestHold);
            m_holdLeft = m_hold;
        }
        return m_allowed != before;
    }

    m_settledRate = rate;
    if (--m_holdLeft > 0)
        return false;
    const bool mayGoUp = m_settled < m_most;
    const bool mayGoDown = m_settled > 1;
    const bool up = mayGoUp && (m_nextTryUp || !mayGoDown);
    m_nextTryUp = !up;
    startTry(up ? m_settled + 1 : m_settled - 1);
    return m_allowed != before;
}

void WorkerController::startTry(unsigned count)
{
    m_allowed = count;
    m_warmingUp = true;
    m_wins = 0;
}

} // namespace remover
