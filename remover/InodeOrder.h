#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "EngineInvariants.h"
#include "FolderListing.h"

namespace remover {

// On storage a folder's listing comes in the order of its name hashes, which
// scatters its files over the inode table: unlinked in that order, each file
// touches another block of it. Read ahead and unlinked in the order of their
// inode numbers, they go block after block, with fewer processor seconds and
// in less time (docs/benchmarks.md, "What the engine's choices rest on"). A
// small folder is put in inode order run by run, which costs no memory (see
// the walk), so a folder is read ahead only once it has shown that it is
// large. Its batches are as large as a folder of 100,000 files: each batch is
// a sweep over the inode table, and one sweep is faster than two. On a file
// system in memory (tmpfs) nothing is read ahead: there is no disk block to
// save, and the removal keeps its small memory.
struct InodeOrderLimits {
    std::size_t listedFirst = 512; // entries given in listing order first
    std::size_t batchEntries = 131072; // entries read ahead at most ...
    std::size_t batchNameBytes = 2 << 20; // ... and bytes of their names
};

// How many read-ahead batches the whole removal may hold at once: with the
// limits above, what bounds the memory that inode order costs (a batch holds
// 16 bytes per entry and the names: about 4 MiB at most).
class BatchBudget {
public:
    explicit BatchBudget(int batches)
        : m_batches(batches)
        , m_free(batches)
    {
    }
    bool take()
    {
        for (int free = m_free.load(); free > 0;)
            if (m_free.compare_exchange_weak(free, free - 1))
                return true;
        return false;
    }
    void give()
    {
        const int free = m_free.fetch_add(1) + 1;
        ENGINE_CHECK(free <= m_batches); // L4: only what was taken comes back
    }

private:
    const int m_batches;
    std::atomic<int> m_free;
};

// Gives a folder's entries in listing order until it has shown
// `listedFirst`, then batch by batch in the order of their inode numbers, as
// long as it holds a batch of the budget; without one it goes on in listing
// order.
class InodeOrderReader : public EntryReader {
public:
    InodeOrderReader(ListingPtr listing, std::shared_ptr<BatchBudget> budget, const InodeOrderLimits& limits);
    ~InodeOrderReader() override;

    bool next(ListingEntry& entry, int& error) override;

private:
    void readBatch();
    void dropBatch();

    struct Slot {
        ino_t inode;
        std::uint32_t nameAt; // in m_names, ending in '\0'
        unsigned char type;
    };
    const std::shared_ptr<BatchBudget> m_budget;
    const InodeOrderLimits m_limits;
    std::size_t m_listed = 0;
    bool m_holdsBatch = false;
    bool m_ended = false; // the listing itself is read to its end
    int m_error = 0;
    std::vector<Slot> m_slots;
    std::size_t m_nextSlot = 0;
    std::string m_names;
};

} // namespace remover
