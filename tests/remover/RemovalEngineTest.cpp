// The removal engine through its seams: the number of workers, the window of
// open folders, and the listing that every folder is read through.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <thread>

#include "FolderListing.h"
#include "RemovalTestHelpers.h"
#include "TestSupport.h"

namespace remover {

using namespace testsupport;
using namespace removaltest;

namespace {

// What a test reader does with the folder's real entries.
struct ReaderScript {
    std::function<bool(const std::string& name, int index)> show; // false: skipped; empty: all shown
    int failAfter = -1; // entries shown before reading fails with EIO; -1: never
    std::function<void()> beforeEachRead;
    bool hideTypes = false; // every entry as DT_UNKNOWN, as some file systems list them
};

class ScriptedReader : public EntryReader {
public:
    ScriptedReader(ListingPtr listing, ReaderScript script)
        : EntryReader(std::move(listing))
        , m_script(std::move(script))
    {
    }

    bool next(ListingEntry& entry, int& error) override
    {
        for (;;) {
            if (m_script.beforeEachRead)
                m_script.beforeEachRead();
            if (m_script.failAfter >= 0 && m_shown >= m_script.failAfter) {
                error = EIO;
                return false;
            }
            if (!EntryReader::next(entry, error))
                return false;
            const int index = m_seen++;
            if (m_script.hideTypes)
                entry.type = DT_UNKNOWN;
            if (!m_script.show || m_script.show(entry.name, index)) {
                ++m_shown;
                return true;
            }
        }
    }

private:
    ReaderScript m_script;
    int m_seen = 0;
    int m_shown = 0;
};

std::unique_ptr<EntryReader> scriptedReader(UniqueFd folder, ReaderScript script)
{
    ListingPtr listing = openListing(std::move(folder));
    if (!listing)
        return nullptr;
    return std::make_unique<ScriptedReader>(std::move(listing), std::move(script));
}

// How often each folder name was opened for reading; workers ask at once.
class Openings {
public:
    int record(const std::string& name)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return ++m_counts[name];
    }
    int of(const std::string& name)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_counts[name];
    }

private:
    std::mutex m_mutex;
    std::map<std::string, int> m_counts;
};

std::string repeated(const std::string& part, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i)
        text += (i == 0 ? "" : "/") + part;
    return text;
}

// A chain `depth` folders deep under `top`, made relative to open folders:
// its paths are far longer than a path may be.
bool makeDeepChain(const std::string& top, int depth, const std::string& bottomName)
{
    if (mkdir(top.c_str(), 0755) != 0)
        return false;
    int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < depth && fd >= 0; ++i) {
        const char* name = i + 1 == depth ? bottomName.c_str() : "d";
        const int next = mkdirat(fd, name, 0755) == 0 ? openat(fd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        close(fd);
        fd = next;
    }
    if (fd < 0)
        return false;
    for (int i = 0; i < 8; ++i) {
        const std::string name = "s" + std::to_string(i);
        mkdirat(fd, name.c_str(), 0755);
        const int file = openat(fd, (name + "/f").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (file >= 0)
            close(file);
    }
    close(fd);
    return true;
}

// Runs `body` on a thread with a stack of `bytes`; helper threads started
// meanwhile get stacks of that size too.
int onSmallStacks(std::size_t bytes, const std::function<int()>& body)
{
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0 || pthread_attr_setstacksize(&attributes, bytes) != 0
        || pthread_setattr_default_np(&attributes) != 0)
        return kChildSkips;
    struct Call {
        const std::function<int()>* body;
        int result;
    } call { &body, 98 };
    pthread_t thread;
    const auto run = [](void* argument) -> void* {
        auto* self = static_cast<Call*>(argument);
        self->result = (*self->body)();
        return nullptr;
    };
    if (pthread_create(&thread, &attributes, run, &call) != 0)
        return kChildSkips;
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    return call.result;
}

} // namespace

// A folder that failed near the bottom of a chain far deeper than the window:
// each folder above it is closed, climbed back to, and read again from its
// start, and must then pass over the folder below it instead of walking it
// again, which would close and reopen it for ever.
TEST(RemovalEngine, ReadingAFolderAgainPassesOverWhatFailedInIt)
{
    const struct {
        const char* obstacle;
        bool isMount;
        RemovalStep step;
    } cases[] = {
        { "a bind mount", true, RemovalStep::MountRoot },
        { "a folder whose listing fails", false, RemovalStep::ReadFolder },
    };
    for (const auto& c : cases) {
        TempDir tmp;
        const std::string above = chain(tmp / "tree", 290);
        writeFile(above + "/obstacle/keep.txt", "keep");
        writeFile(chain(above, 10) + "/leaf", "x");
        writeFile(tmp / "source/mounted.txt", "keep");

        const int status = runInChild(
            [&] {
                if (c.isMount
                    && (!enterPrivateMountNamespace()
                        || mount((tmp / "source").c_str(), (above + "/obstacle").c_str(), nullptr, MS_BIND, nullptr)
                            != 0))
                    return kChildSkips;
                RemovalSettings settings;
                settings.workers = 1;
                settings.window = 4;
                settings.listings = [](UniqueFd folder, const std::string& name) {
                    ReaderScript script;
                    if (name == "obstacle")
                        script.failAfter = 0;
                    return scriptedReader(std::move(folder), script);
                };
                const RemovalResult result = removePath(tmp / "tree", settings);
                return result.step == c.step && result.where == repeated("d", 290) + "/obstacle" ? 0 : 1;
            },
            {}, 30);
        if (status == kChildSkips) {
            std::cout << "not checked (needs root for a mount namespace): " << c.obstacle << "\n";
            continue;
        }
        EXPECT_EQ(status, 0) << c.obstacle << ": the removal must fail at the obstacle";
        EXPECT_FALSE(entryExists(chain(above, 1))) << c.obstacle << ": the chain beside it must go";
        EXPECT_EQ(readFile(tmp / "source/mounted.txt"), "keep") << c.obstacle;
        if (!c.isMount) {
            EXPECT_EQ(readFile(above + "/obstacle/keep.txt"), "keep") << c.obstacle;
        }
    }
}

// A folder read a second time, after a climb back or for another pass, whose
// second reading fails: it stays with what is left in it, says why, and the
// walk ends.
TEST(RemovalEngine, AFolderWhoseSecondReadingFailsStays)
{
    const struct {
        const char* what;
        std::size_t window;
        bool openingFails; // else the reading fails
        bool firstHidesAFile; // the first reading does not show "late.txt"
    } cases[] = {
        { "reopened after a climb back, it cannot be opened", 2, true, false },
        { "reopened after a climb back, it cannot be read", 2, false, false },
        { "read again as not empty, it cannot be opened", 64, true, true },
    };
    for (const auto& c : cases) {
        TempDir tmp;
        writeFile(tmp / "tree/m/a.txt", "x");
        writeFile(tmp / "tree/m/late.txt", "x");
        writeFile(chain(tmp / "tree/m", 10) + "/leaf", "x");
        Openings openings;
        RemovalSettings settings;
        settings.workers = 1;
        settings.window = c.window;
        settings.listings = [&](UniqueFd folder, const std::string& name) -> std::unique_ptr<EntryReader> {
            ReaderScript script;
            if (name == "m") {
                const int opening = openings.record(name);
                if (opening == 1 && c.firstHidesAFile)
                    script.show = [](const std::string& entry, int) { return entry != "late.txt"; };
                if (opening == 2 && c.openingFails) {
                    errno = EIO;
                    return nullptr;
                }
                if (opening == 2)
                    script.failAfter = 0;
            }
            return scriptedReader(std::move(folder), script);
        };

        const RemovalResult result = removePath(tmp / "tree", settings);
        EXPECT_EQ(openings.of("m"), 2) << c.what;
        EXPECT_EQ(result.step, RemovalStep::ReadFolder) << c.what << ": " << describe(result);
        EXPECT_EQ(result.error, EIO) << c.what;
        EXPECT_EQ(result.where, "m") << c.what;
        EXPECT_TRUE(entryExists(tmp / "tree/m")) << c.what;
        if (c.firstHidesAFile) {
            EXPECT_TRUE(entryExists(tmp / "tree/m/late.txt")) << c.what;
        }
        EXPECT_FALSE(entryExists(chain(tmp / "tree/m", 10))) << c.what;
    }
}

// Some file systems skip entries of a folder that changes while it is listed.
// A folder is read again while its passes still find something; one that
// keeps an entry the listing never shows ends as failed.
TEST(RemovalEngine, ListingsThatSkipEntriesAreReadAgainWhileTheyFindSomething)
{
    const auto everySecond = [](const std::string&, int index) { return index % 2 == 0; };
    const auto neverHidden = [](const std::string& name, int) { return name != "hidden"; };
    const struct {
        const char* what;
        int folders; // each with `files` files; 0: the files lie in "sub" itself
        int files;
        std::function<bool(const std::string&, int)> show;
        bool removed;
    } cases[] = {
        { "every second entry skipped, 300 files", 0, 300, everySecond, true },
        { "every second entry skipped, 30 folders of 5 files", 30, 5, everySecond, true },
        { "a file the listing never shows", 0, 20, neverHidden, false },
    };
    for (const auto& c : cases) {
        TempDir tmp;
        for (int i = 0; i < c.files; ++i) {
            if (c.folders == 0)
                writeFile(tmp / ("tree/sub/f" + std::to_string(i)), "x");
            for (int j = 0; j < c.folders; ++j)
                writeFile(tmp / ("tree/sub/s" + std::to_string(j) + "/f" + std::to_string(i)), "x");
        }
        writeFile(tmp / "tree/sub/hidden", "x");
        RemovalSettings settings;
        settings.listings = [&](UniqueFd folder, const std::string&) {
            ReaderScript script;
            script.show = c.show;
            return scriptedReader(std::move(folder), script);
        };

        const RemovalResult result = removePath(tmp / "tree", settings);
        EXPECT_EQ(result.ok(), c.removed) << c.what << ": " << describe(result);
        EXPECT_EQ(entryExists(tmp / "tree"), !c.removed) << c.what;
        if (!c.removed) {
            EXPECT_EQ(result.step, RemovalStep::RemoveFolder) << c.what;
            EXPECT_EQ(result.error, ENOTEMPTY) << c.what;
            EXPECT_EQ(result.where, "sub") << c.what;
            EXPECT_TRUE(entryExists(tmp / "tree/sub/hidden")) << c.what;
            EXPECT_FALSE(entryExists(tmp / "tree/sub/f0")) << c.what;
        }
    }
}

// Threads on macOS get stacks of 512 KiB. A chain 12,000 folders deep is
// removed on such stacks, and running out of memory at its bottom gives a
// failure instead of a crash while the chain of folder nodes is let go. The
// chain lies on a memory file system: on storage, making it takes long.
TEST(RemovalEngine, DeepChainsOnSmallThreadStacks)
{
    const int kDepth = 12000;
    TempDir tmp;
    const int status = runInChild(
        [&] {
            if (!enterPrivateMountNamespace()
                || mount("tmpfs", tmp.path().c_str(), "tmpfs", 0, "size=256m,nr_inodes=100000") != 0
                || !makeDeepChain(tmp / "tree", kDepth, "bottom"))
                return kChildSkips;
            return onSmallStacks(512 * 1024, [&] {
                RemovalSettings settings;
                settings.workers = 4;
                settings.listings = [](UniqueFd folder, const std::string& name) {
                    if (name == "bottom")
                        throw std::bad_alloc();
                    return EntryReader::open(std::move(folder));
                };
                int failures = 0;
                if (removePath(tmp / "tree", settings).step != RemovalStep::OutOfMemory)
                    failures |= 1;
                settings.listings = nullptr;
                if (!removeItem(tmp / "tree", settings) || entryExists(tmp / "tree"))
                    failures |= 2;
                return failures;
            });
        },
        {}, 120);
    if (status == kChildSkips)
        GTEST_SKIP() << "needs root for a memory file system in a mount namespace, and threads with small stacks";
    EXPECT_EQ(status & 1, 0) << "out of memory must be the failure";
    EXPECT_EQ(status & 2, 0) << "the chain must be removed";
}

// The open-file limit that leaves exactly `spare` descriptors free. The limit
// bounds descriptor numbers, not their count: descriptors inherited with high
// numbers (a test harness's) take no room below it, and free numbers below
// the highest open one are used first.
rlim_t limitLeavingFree(rlim_t spare)
{
    std::set<rlim_t> listed;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        listed.insert(std::stoul(entry.path().filename().string()));
    rlim_t limit = 0;
    for (rlim_t free = 0; free < spare; ++limit) {
        // The listing's own descriptor is closed again by now.
        if (!listed.count(limit) || fcntl(static_cast<int>(limit), F_GETFD) == -1)
            ++free;
    }
    return limit;
}

// Under an open-file limit too low for four workers, the removal uses fewer,
// down to one, and still removes the whole tree: one worker needs a window of
// one folder, one being opened and one climbed to, beside the parent folder
// and the tree's top. Reading is slowed down so that the workers are busy at
// the same time and hold their descriptors. With the workers and the window
// given, the limit leaves exactly what the engine's rule promises (each
// worker its window and two more, and two shared listings), while listings
// that show only every second entry make folders be read again after climbs.
TEST(RemovalEngine, FewDescriptorsMeanFewerWorkersNotFailures)
{
    const struct {
        rlim_t spare; // descriptors beyond those open before the removal
        unsigned workers; // 0: by the open-file limit
        std::size_t window;
        bool readAgain;
    } cases[] = {
        { 5, 0, 0, false },
        { 6, 0, 0, false },
        { 8, 0, 0, false },
        { 12, 0, 0, false },
        { 1 + 2 * (1 + 2 + 2), 2, 1, true }, // the parent folder, then per worker
        { 1 + 3 * (2 + 2 + 2), 3, 2, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("descriptors to spare " + std::to_string(c.spare));
        TempDir tmp;
        for (int i = 0; i < 8; ++i)
            for (int j = 0; j < 4; ++j)
                writeFile(tmp / ("tree/s" + std::to_string(i) + "/t" + std::to_string(j) + "/f"), "x");
        writeFile(chain(tmp / "tree/deep", 20) + "/leaf", "x");
        RemovalSettings settings;
        settings.workers = c.workers;
        settings.window = c.window;
        settings.listings = [&c](UniqueFd folder, const std::string&) {
            ReaderScript script;
            script.beforeEachRead = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
            if (c.readAgain)
                script.show = [](const std::string&, int index) { return index % 2 == 0; };
            return scriptedReader(std::move(folder), script);
        };
        const int status = runInChild([&] {
            if (!lowerOpenFileLimit(limitLeavingFree(c.spare)))
                return kChildSkips;
            const RemovalResult result = removePath(tmp / "tree", settings);
            if (!result.ok())
                std::cerr << "descriptors to spare " << c.spare << ": " << describe(result) << "\n";
            return result.ok() ? 0 : 1;
        });
        if (status == kChildSkips)
            GTEST_SKIP() << "cannot lower the open-file limit";
        EXPECT_EQ(status, 0);
        EXPECT_FALSE(entryExists(tmp / "tree"));
    }
}

// A folder shared by two workers, which the first finishes reading while the
// second is still busy below it: the first climbs back to the folder above,
// reads it again from its start, and must not walk the shared folder again.
TEST(RemovalEngine, AFolderOthersAreStillReadingIsNotWalkedAgain)
{
    TempDir tmp;
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j < 3; ++j)
            writeFile(tmp / ("tree/y/a/s" + std::to_string(i) + "/f" + std::to_string(j)), "x");
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<bool> helperInside { false };
    Openings openings;
    RemovalSettings settings;
    settings.workers = 2;
    settings.window = 1; // "tree" and "y" are closed while "a" is read
    settings.listings = [&](UniqueFd folder, const std::string& name) {
        openings.record(name);
        ReaderScript script;
        if (name[0] == 's' && std::this_thread::get_id() != caller) {
            helperInside = true;
            script.beforeEachRead = [] { std::this_thread::sleep_for(std::chrono::milliseconds(30)); };
        } else if (name[0] == 's') {
            // The caller waits in its first folder until the helper is in one.
            script.beforeEachRead = [&helperInside] {
                for (int i = 0; i < 2000 && !helperInside; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            };
        }
        return scriptedReader(std::move(folder), script);
    };

    const RemovalResult result = removePath(tmp / "tree", settings);
    EXPECT_TRUE(result.ok()) << describe(result);
    EXPECT_FALSE(entryExists(tmp / "tree"));
    EXPECT_TRUE(helperInside) << "the helper never took part";
    EXPECT_EQ(openings.of("a"), 1) << "the shared folder was walked again";
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(openings.of("s" + std::to_string(i)), 1) << i;
}

// Workers take a folder's entries in runs. A folder that turns up inside a run
// (its type unknown from the listing) is walked first; the rest of the run
// must wait in the listing, not be lost to a second reading of the folder.
TEST(RemovalEngine, FoldersInsideARunLeaveTheRestForLater)
{
    for (const unsigned workers : { 1u, 3u }) {
        for (const bool hideTypes : { false, true }) {
            SCOPED_TRACE("workers " + std::to_string(workers) + (hideTypes ? ", types hidden" : ""));
            TempDir tmp;
            for (int i = 0; i < 700; ++i) {
                const std::string name = tmp / ("tree/big/e" + std::to_string(i));
                writeFile(i % 50 == 7 ? name + "/f" : name, "x");
            }
            Openings openings;
            RemovalSettings settings;
            settings.workers = workers;
            settings.window = 2;
            settings.listings = [&](UniqueFd folder, const std::string& name) {
                openings.record(name);
                ReaderScript script;
                script.hideTypes = hideTypes;
                return scriptedReader(std::move(folder), script);
            };

            const RemovalResult result = removePath(tmp / "tree", settings);
            EXPECT_TRUE(result.ok()) << describe(result);
            EXPECT_FALSE(entryExists(tmp / "tree"));
            EXPECT_EQ(openings.of("big"), 1) << "entries of a run were left behind and needed another pass";
        }
    }
}

// Workers that the controller lets run and stops again and again, every
// millisecond: a stopped worker waits with the folders it holds, and the
// others must neither take its work nor end before it is done.
TEST(RemovalEngine, WorkersThatComeAndGoRemoveEverything)
{
    for (int round = 0; round < 2; ++round) {
        TempDir tmp;
        for (int i = 0; i < 40; ++i)
            for (int j = 0; j < 30; ++j)
                writeFile(tmp / ("tree/s" + std::to_string(i) + "/f" + std::to_string(j)), "x");
        for (int j = 0; j < 600; ++j)
            writeFile(tmp / ("tree/flat/f" + std::to_string(j)), "x");
        writeFile(chain(tmp / "tree/deep", 100) + "/leaf", "x");
        RemovalSettings settings;
        settings.window = 4;
        settings.pacing.probe = std::chrono::milliseconds(0);
        settings.pacing.probeEntries = 1;
        settings.pacing.gain = 0; // every try of one more worker succeeds
        settings.pacing.firstHold = 1;
        settings.pacing.longestHold = 1;

        const RemovalResult result = removePath(tmp / "tree", settings);
        EXPECT_TRUE(result.ok()) << "round " << round << ": " << describe(result);
        EXPECT_FALSE(entryExists(tmp / "tree")) << "round " << round;
    }
}

namespace {

// Gives a folder's entries in the order of their names. When it is closed it
// counts the folders above it, up to `top`, that were already removed: a
// removed folder still open keeps the chain of removed folders above it in
// the kernel's cache, and every removal further up walks that chain again.
class ClosingWatch : public EntryReader {
public:
    struct Shared {
        std::string top;
        std::atomic<int> removedAbove { 0 };
        std::atomic<bool> topEnded { false };
        std::atomic<bool> helperIn { false }; // the helper opened a folder
        std::atomic<bool> leafByHelper { false };
        std::thread::id caller;
    };

    ClosingWatch(ListingPtr listing, const std::string& name, Shared& shared)
        : EntryReader(std::move(listing))
        , m_name(name)
        , m_shared(shared)
    {
        char path[4096];
        const ssize_t length = readlink(("/proc/self/fd/" + std::to_string(fd())).c_str(), path, sizeof path - 1);
        m_path.assign(path, length > 0 ? static_cast<std::size_t>(length) : 0);
        ListingEntry entry;
        int error = 0;
        while (EntryReader::next(entry, error))
            m_entries.push_back(entry);
        std::sort(m_entries.begin(), m_entries.end(),
            [](const ListingEntry& a, const ListingEntry& b) { return a.name < b.name; });
    }

    ~ClosingWatch() override
    {
        for (std::string above = m_path.substr(0, m_path.rfind('/')); above.size() >= m_shared.top.size();
             above = above.substr(0, above.rfind('/')))
            if (!entryExists(above))
                ++m_shared.removedAbove;
    }

    bool next(ListingEntry& entry, int&) override
    {
        // The caller stays in the side folder until the helper has taken the
        // rest of the chain.
        if (m_name == "a" && std::this_thread::get_id() == m_shared.caller)
            for (int i = 0; i < 5000 && !m_shared.helperIn; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (m_name == "leaf" && std::this_thread::get_id() != m_shared.caller) {
            // The helper finishes its chain only once the caller has read
            // everything above it: the helper then removes those folders.
            m_shared.leafByHelper = true;
            for (int i = 0; i < 5000 && !m_shared.topEnded; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (m_at < m_entries.size()) {
            entry = m_entries[m_at++];
            return true;
        }
        if (m_name == "tree")
            m_shared.topEnded = true;
        return false;
    }

private:
    const std::string m_name;
    Shared& m_shared;
    std::string m_path;
    std::vector<ListingEntry> m_entries;
    std::size_t m_at = 0;
};

} // namespace

// The caller walks a chain down to a folder with a side folder beside the
// rest of the chain. It offers that folder to the helper while it walks the
// side folder; the helper walks the rest of the chain and, finishing last,
// removes its folder and climbs, removing every folder above it that nothing
// is pending in any more. No folder may stay open while a folder above it is
// removed: on Linux each such removal walks the removed chain still held
// below it, and a deep chain took time quadratic in its depth.
TEST(RemovalEngine, AFinishedFolderIsClosedBeforeTheFoldersAboveItAreRemoved)
{
    const int kDepth = 40;
    TempDir tmp;
    const std::string fork = chain(tmp / "tree", kDepth);
    writeFile(fork + "/a/f", "x");
    writeFile(chain(fork, 4) + "/leaf/f", "x");
    ClosingWatch::Shared shared;
    shared.top = tmp / "tree";
    shared.caller = std::this_thread::get_id();
    RemovalSettings settings;
    settings.workers = 2;
    settings.window = 64;
    settings.listings = [&](UniqueFd folder, const std::string& name) -> std::unique_ptr<EntryReader> {
        if (std::this_thread::get_id() != shared.caller)
            shared.helperIn = true;
        ListingPtr listing = openListing(std::move(folder));
        if (!listing)
            return nullptr;
        return std::make_unique<ClosingWatch>(std::move(listing), name, shared);
    };

    const RemovalResult result = removePath(tmp / "tree", settings);
    EXPECT_TRUE(result.ok()) << describe(result);
    EXPECT_FALSE(entryExists(tmp / "tree"));
    EXPECT_TRUE(shared.leafByHelper) << "the helper never took the rest of the chain";
    EXPECT_EQ(shared.removedAbove, 0) << "folders removed while a removed folder below them was still open";
}

// A folder that someone keeps filling as fast as the walk empties it: the walk
// reads a bounded number of its entries, then leaves it.
TEST(RemovalEngine, AFolderThatKeepsFillingIsLeft)
{
    class EndlessReader : public EntryReader {
    public:
        using EntryReader::EntryReader;
        bool next(ListingEntry& entry, int&) override
        {
            entry.name = "new" + std::to_string(m_shown++);
            entry.type = DT_REG;
            return true;
        }

    private:
        long m_shown = 0;
    };
    TempDir tmp;
    writeFile(tmp / "tree/filling/f", "x");
    RemovalSettings settings;
    settings.policy.maxEntriesPerFolder = 5000;
    settings.listings = [](UniqueFd folder, const std::string& name) -> std::unique_ptr<EntryReader> {
        ListingPtr listing = openListing(std::move(folder));
        if (name != "filling")
            return std::make_unique<EntryReader>(std::move(listing));
        return std::make_unique<EndlessReader>(std::move(listing));
    };
    const int status = runInChild(
        [&] {
            const RemovalResult result = removePath(tmp / "tree", settings);
            return result.step == RemovalStep::TooManyEntries && result.where == "filling" ? 0 : 1;
        },
        {}, 20);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(entryExists(tmp / "tree/filling"));
}

} // namespace remover
