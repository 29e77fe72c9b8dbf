#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "EntryIdentity.h"
#include "UniqueFd.h"

// Every folder of the walk is opened relative to its parent, never through a
// link, and only as a folder.
const int kOpenFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// unlink(2) refuses folders with EISDIR on Linux and EPERM on the BSDs.
inline bool refusedBecauseFolder(int error)
{
    return error == EISDIR || error == EPERM;
}

struct CloseListing {
    void operator()(DIR* listing) const noexcept { closedir(listing); }
};
using ListingPtr = std::unique_ptr<DIR, CloseListing>;

// Takes the descriptor over; empty (and the descriptor closed) on failure.
inline ListingPtr openListing(UniqueFd fd)
{
    if (!fd)
        return ListingPtr();
    ListingPtr listing(fdopendir(fd.get()));
    if (listing)
        fd.release();
    return listing;
}

// A folder found by the walk. It lives as long as anything inside it is still
// being removed; its parent is reached again by climbing, so it holds no
// descriptor, only what is needed to recognise the folder and to remove it.
struct FolderNode {
    FolderNode(std::shared_ptr<FolderNode> parentNode, std::string folderName, const EntryIdentity& folderIdentity)
        : depth(parentNode ? parentNode->depth + 1 : 0)
        , parent(std::move(parentNode))
        , name(std::move(folderName))
        , identity(folderIdentity)
    {
    }

    const std::size_t depth; // below the folder the removal started with

    const std::shared_ptr<FolderNode> parent; // empty for the folder the removal started with
    const std::string name; // inside the parent
    const EntryIdentity identity;
    // Its listing (until the last reader leaves) plus each folder in it that
    // is not yet removed. Whoever brings it to 0 removes the folder.
    std::atomic<int> pending { 1 };
    std::atomic<bool> failed { false };
    bool rescanned = false; // touched only by whoever brought `pending` to 0

    // Folders inside that failed, for a listing read again from its start
    // after a climb back. Touched only by the one worker that reads it.
    void skip(const std::string& child)
    {
        if (!skipped)
            skipped = std::make_unique<std::vector<std::string>>();
        skipped->push_back(child);
    }
    bool isSkipped(const std::string& child) const
    {
        return skipped && std::find(skipped->begin(), skipped->end(), child) != skipped->end();
    }

private:
    std::unique_ptr<std::vector<std::string>> skipped; // rarely needed: kept small while empty
};

struct ListingEntry {
    std::string name;
    unsigned char type = DT_UNKNOWN;
};

// One pass over the entries of one folder. Read by the worker that opened it,
// and, once shared, by several at a time: each entry goes to one reader.
class FolderListing {
public:
    FolderListing(std::shared_ptr<FolderNode> folder, ListingPtr listing)
        : node(std::move(folder))
        , m_listing(std::move(listing))
    {
    }
    FolderListing(const FolderListing&) = delete;
    FolderListing& operator=(const FolderListing&) = delete;

    int fd() const { return dirfd(m_listing.get()); }

    // The next entry but "." and ".."; false at the end. A failed read marks
    // the folder failed.
    bool next(ListingEntry& entry)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_held) {
            entry = std::move(*m_held);
            m_held.reset();
            return true;
        }
        return readLocked(entry);
    }

    // True when another entry follows; it is kept for the next reader.
    bool peekMore()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_held)
            return true;
        ListingEntry entry;
        if (!readLocked(entry))
            return false;
        m_held = std::move(entry);
        return true;
    }

    // Readers: a worker joins before it reads; the last to leave after the end
    // finishes the folder. Joining an ended listing fails.
    bool join()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_ended)
            return false;
        ++m_readers;
        return true;
    }
    bool leave()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return --m_readers == 0;
    }

    // True once every `every` files, to offer a folder of many files.
    bool countFileForSharing(int every) { return (m_files.fetch_add(1, std::memory_order_relaxed) + 1) % every == 0; }

    const std::shared_ptr<FolderNode> node;
    std::atomic<bool> shared { false }; // read by several workers from now on: never closed early
    std::atomic<bool> queued { false }; // waiting in the pool for a worker

private:
    bool readLocked(ListingEntry& entry)
    {
        while (!m_ended) {
            errno = 0;
            const dirent* found = readdir(m_listing.get());
            if (!found) {
                if (errno != 0)
                    node->failed = true;
                m_ended = true;
                break;
            }
            const char* name = found->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            entry.name.assign(name);
            entry.type = found->d_type;
            return true;
        }
        return false;
    }

    std::mutex m_mutex;
    ListingPtr m_listing;
    std::optional<ListingEntry> m_held;
    int m_readers = 0;
    std::atomic<int> m_files { 0 };
    bool m_ended = false;
};
