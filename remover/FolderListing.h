#pragma once

#include <dirent.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "FolderNode.h"
#include "UniqueFd.h"

namespace remover {

struct CloseListing {
    void operator()(DIR* listing) const noexcept { closedir(listing); }
};
using ListingPtr = std::unique_ptr<DIR, CloseListing>;

// Takes the descriptor over; empty (and the descriptor closed) on failure,
// with errno set.
ListingPtr openListing(UniqueFd fd);

struct ListingEntry {
    std::string name;
    unsigned char type = DT_UNKNOWN;
    ino_t inode = 0;
};

// Reads one folder's entries from its start, "." and ".." left out. The walk
// reads every folder through one of these; a test may give its own, which
// skips entries or fails, through a ListingSource.
class EntryReader {
public:
    // Empty when the folder open as `folder` (taken over) cannot be read,
    // with errno set.
    static std::unique_ptr<EntryReader> open(UniqueFd folder);

    explicit EntryReader(ListingPtr listing)
        : m_listing(std::move(listing))
    {
    }
    virtual ~EntryReader() = default;
    EntryReader(const EntryReader&) = delete;
    EntryReader& operator=(const EntryReader&) = delete;

    int fd() const { return dirfd(m_listing.get()); }

    // The next entry; false at the end, with `error` set when reading failed.
    virtual bool next(ListingEntry& entry, int& error);

private:
    ListingPtr m_listing;
};

// Opens a reader for the folder open as `folder`, named `name` inside its
// parent. Called for the first reading of a folder, for a reading again from
// its start after a climb back, and for each further pass.
using ListingSource = std::function<std::unique_ptr<EntryReader>(UniqueFd folder, const std::string& name)>;

// One pass over the entries of one folder. Read by the worker that opened it,
// and, once shared, by several at a time: each entry goes to one reader.
class FolderListing {
public:
    FolderListing(NodeRef folder, std::unique_ptr<EntryReader> reader)
        : node(std::move(folder))
        , m_reader(std::move(reader))
    {
    }
    FolderListing(const FolderListing&) = delete;
    FolderListing& operator=(const FolderListing&) = delete;
    ~FolderListing();

    int fd() const { return m_reader->fd(); }

    // Up to `most` entries in a row for one reader, in place of `run`; false
    // at the end of the pass. A folder comes in a run of its own. Readers of
    // a shared folder then each unlink a stretch of neighbouring entries (in
    // inode order: of neighbouring inodes) instead of taking turns on the
    // same blocks of the inode table, and take the lock once per run.
    bool nextRun(std::vector<ListingEntry>& run, std::size_t most);

    // Entries of a run that its reader leaves for now, for whichever reader
    // comes next.
    void giveBack(std::vector<ListingEntry>& run, std::size_t from);

    // True when another entry follows; it is kept for the next reader.
    bool peekMore();

    // Ends the pass now: what was not handed out yet stays in the folder.
    void endEarly();

    // Readers: a worker joins before it reads; the last to leave after the end
    // finishes the pass. Joining an ended listing fails. A listing that is not
    // shared has one reader, the worker that opened it, which alone may offer
    // it, close it early or write its folder's skip list.
    bool join(const void* reader);
    // True for the last reader to leave; only readers that saw the end leave.
    bool leave();
    // Whether `worker` may treat the listing as its own: not shared, and
    // joined by it.
    bool isOwnedBy(const void* worker) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return !shared && m_owner == worker;
    }

    // Closes the folder once its pass has ended and its last reader left;
    // fd() is not asked for again.
    void close();

    // The errno of a failed read (0 when none): the pass ended early.
    int readError() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_readError;
    }

    // True once every `every` files, to offer a folder of many files.
    bool countFileForSharing(int every) { return (m_files.fetch_add(1, std::memory_order_relaxed) + 1) % every == 0; }

    const NodeRef node;
    std::atomic<bool> shared { false }; // read by several workers from now on: never closed early
    std::atomic<bool> queued { false }; // waiting in the pool for a worker

private:
    bool readLocked(ListingEntry& entry);

    mutable std::mutex m_mutex;
    std::unique_ptr<EntryReader> m_reader;
    std::optional<ListingEntry> m_held;
    std::vector<ListingEntry> m_givenBack;
    int m_readers = 0;
    const void* m_owner = nullptr; // the reader that joined it before it was shared
    int m_readError = 0;
    std::atomic<int> m_files { 0 };
    bool m_ended = false;
};

} // namespace remover
