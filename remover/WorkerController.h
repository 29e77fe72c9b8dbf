#pragma once

#include <chrono>
#include <cstdint>

namespace remover {

// How many workers of a removal may run at once, decided from the rate at
// which the removal removes entries, measured in the run itself. Whether more
// workers help depends on the file system and on the shape of the tree: on
// ext4 several halve the time of a wide tree, on xfs they wait on each
// other's locks and a second one alone made it slower than one. So a removal
// starts with one worker, tries one more after two short measurements, keeps it
// only when the rate rose clearly, and now and then tries one fewer, which it
// keeps when the rate did not fall. A try lasts three measurements: in the
// first, workers start or stop and work is shared out, so it is not judged;
// the other two must both find the change better than the last few
// measurements before it. Tries of one more that failed are repeated after
// ever longer waits, as the tree may change from files to folders; tries of
// one fewer never wait long, since a worker kept on a good stretch may hurt on
// the next one. Sees only counts and the monotonic clock; the caller feeds it,
// so tests give it both.
class WorkerController {
public:
    using Clock = std::chrono::steady_clock;

    struct Tuning {
        Clock::duration probe = std::chrono::milliseconds(30); // one measurement lasts at least this ...
        std::uint64_t probeEntries = 256; // ... and counts at least this many entries
        double gain = 1.1; // another worker stays only when the rate rises by this factor
        int firstHold = 4; // measurements at a count before trying another one
        int longestHold = 64; // the wait before one more, four times as long after each failed try, up to this
        int longestDownHold = 16; // the wait before one fewer, doubled by each failed try up to this
    };

    WorkerController(unsigned most, const Tuning& tuning, Clock::time_point start);

    // `removed` entries so far at `now`. True when allowed() changed.
    bool update(std::uint64_t removed, Clock::time_point now);

    unsigned allowed() const { return m_allowed; }

private:
    static constexpr int kBaseline = 3; // settled measurements a try is compared with

    void settledMeasurement(double rate);
    void endTry(double rate);
    void settle(unsigned count);
    void startTry(unsigned count);
    double baseline() const;

    const unsigned m_most;
    const Tuning m_tuning;
    bool m_startedUp = false; // past the first measurement
    unsigned m_allowed = 1;
    unsigned m_settled = 1; // the count that tries start from and go back to
    double m_recent[kBaseline] = {}; // the last measurements at m_settled, newest at [0]
    int m_recentCount = 0;
    bool m_warmingUp = false; // in the first measurement of a try
    double m_tryRates[2] = {}; // the judged measurements of the try
    int m_judged = 0;
    int m_upHold; // the wait before one more
    int m_upLeft; // measurements at m_settled before the next try of one more
    int m_downHold; // the same for one fewer
    int m_downLeft;
    Clock::time_point m_since;
    std::uint64_t m_removedSince = 0;
};

} // namespace remover
