#include "InodeOrder.h"

#include <climits>

#include <algorithm>

#include "EngineInvariants.h"

namespace remover {

InodeOrderReader::InodeOrderReader(
    ListingPtr listing, std::shared_ptr<BatchBudget> budget, const InodeOrderLimits& limits)
    : EntryReader(std::move(listing))
    , m_budget(std::move(budget))
    , m_limits(limits)
{
}

InodeOrderReader::~InodeOrderReader()
{
    if (m_holdsBatch)
        m_budget->give();
}

bool InodeOrderReader::next(ListingEntry& entry, int& error)
{
    for (;;) {
        ENGINE_CHECK(m_holdsBatch || m_slots.empty());
        if (m_nextSlot < m_slots.size()) {
            const Slot& slot = m_slots[m_nextSlot++];
            entry.name.assign(&m_names[slot.nameAt]);
            entry.type = slot.type;
            entry.inode = slot.inode;
            return true;
        }
        if (m_holdsBatch)
            dropBatch();
        if (m_ended) {
            error = m_error;
            return false;
        }
        if (m_listed >= m_limits.listedFirst && m_budget->take()) {
            m_holdsBatch = true;
            readBatch();
            continue;
        }
        if (EntryReader::next(entry, error)) {
            ++m_listed;
            return true;
        }
        m_ended = true;
        m_error = error;
        return false;
    }
}

// Reads the listing on up to the limits and sorts what it read. A read that
// fails ends the listing after what was read before it.
void InodeOrderReader::readBatch()
{
    m_slots.clear();
    m_names.clear();
    m_nextSlot = 0;
    // Reserved whole: growing by doubling would copy and touch twice as much.
    m_slots.reserve(m_limits.batchEntries);
    m_names.reserve(m_limits.batchNameBytes + NAME_MAX + 1);
    ListingEntry read;
    while (m_slots.size() < m_limits.batchEntries && m_names.size() < m_limits.batchNameBytes) {
        int readError = 0;
        if (!EntryReader::next(read, readError)) {
            m_ended = true;
            m_error = readError;
            break;
        }
        m_slots.push_back(Slot { read.inode, static_cast<std::uint32_t>(m_names.size()), read.type });
        m_names.append(read.name).push_back('\0');
        ++m_listed;
    }
    std::sort(m_slots.begin(), m_slots.end(), [](const Slot& a, const Slot& b) { return a.inode < b.inode; });
}

void InodeOrderReader::dropBatch()
{
    // The memory goes back with the budget.
    std::vector<Slot>().swap(m_slots);
    std::string().swap(m_names);
    m_nextSlot = 0;
    m_holdsBatch = false;
    m_budget->give();
}

} // namespace remover
