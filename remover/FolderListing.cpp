#include "FolderListing.h"

#include <algorithm>
#include <cerrno>

#include "EngineInvariants.h"

namespace remover {

ListingPtr openListing(UniqueFd fd)
{
    if (!fd)
        return ListingPtr();
    ListingPtr listing(fdopendir(fd.get()));
    if (listing)
        fd.release();
    return listing;
}

std::unique_ptr<EntryReader> EntryReader::open(UniqueFd folder)
{
    ListingPtr listing = openListing(std::move(folder));
    if (!listing)
        return nullptr;
    return std::make_unique<EntryReader>(std::move(listing));
}

bool EntryReader::next(ListingEntry& entry, int& error)
{
    for (;;) {
        errno = 0;
        const dirent* found = readdir(m_listing.get());
        if (!found) {
            error = errno;
            return false;
        }
        const char* name = found->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        entry.name.assign(name);
        entry.type = found->d_type;
        entry.inode = found->d_ino;
        return true;
    }
}

FolderListing::~FolderListing()
{
    // Liveness: a shared pass ends with its last reader. Only a worker that
    // met an exception drops its listings unended, after marking their
    // folders failed.
    ENGINE_CHECK(!shared || (m_ended && m_readers == 0) || node->hasFailed());
}

bool FolderListing::nextRun(std::vector<ListingEntry>& run, std::size_t most)
{
    run.clear();
    std::lock_guard<std::mutex> lock(m_mutex);
    ENGINE_CHECK(m_readers > 0); // L1
    while (run.size() < most && !m_givenBack.empty()) {
        run.push_back(std::move(m_givenBack.back()));
        m_givenBack.pop_back();
    }
    if (!run.empty())
        return true;
    ListingEntry entry;
    while (run.size() < most) {
        if (m_held) {
            entry = std::move(*m_held);
            m_held.reset();
        } else if (!readLocked(entry)) {
            break;
        }
        if (entry.type == DT_DIR && !run.empty()) {
            m_held = std::move(entry);
            break;
        }
        run.push_back(std::move(entry));
        if (run.back().type == DT_DIR)
            break;
    }
    return !run.empty();
}

void FolderListing::giveBack(std::vector<ListingEntry>& run, std::size_t from)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (std::size_t i = run.size(); i > from; --i)
        m_givenBack.push_back(std::move(run[i - 1]));
    run.resize(std::min(from, run.size()));
}

bool FolderListing::peekMore()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_held || !m_givenBack.empty())
        return true;
    ListingEntry entry;
    if (!readLocked(entry))
        return false;
    m_held = std::move(entry);
    return true;
}

void FolderListing::endEarly()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ended = true;
    m_held.reset();
    m_givenBack.clear();
}

bool FolderListing::join(const void* reader)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_ended)
        return false;
    if (!shared) {
        ENGINE_CHECK(m_readers == 0); // ownership: one reader until shared
        m_owner = reader;
    }
    ++m_readers;
    return true;
}

bool FolderListing::leave()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ENGINE_CHECK(m_ended && m_readers > 0); // L1
    return --m_readers == 0;
}

void FolderListing::close()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ENGINE_CHECK(m_ended && m_readers == 0);
    m_reader.reset();
}

bool FolderListing::readLocked(ListingEntry& entry)
{
    if (m_ended)
        return false;
    int error = 0;
    if (m_reader->next(entry, error)) {
        node->passFoundEntries.store(true, std::memory_order_relaxed);
        return true;
    }
    m_readError = error;
    m_ended = true;
    return false;
}

} // namespace remover
