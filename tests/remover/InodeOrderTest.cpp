// Large folders read ahead and unlinked in the order of their inode numbers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <set>
#include <vector>

#include "FolderCalls.h"
#include "InodeOrder.h"
#include "RemovalTestHelpers.h"
#include "TestSupport.h"

namespace remover {

using namespace testsupport;
using namespace removaltest;

namespace {

struct ReadCase {
    const char* what;
    InodeOrderLimits limits;
    int budget;
};

const ReadCase kReadCases[] = {
    { "read ahead in several batches", { 5, 40, 1 << 20 }, 1 },
    { "batches ended by the bytes of their names", { 5, 1000, 300 }, 1 },
    { "the whole folder in one batch from the start", { 0, 1000, 1 << 20 }, 1 },
    { "no batch to be had: listing order", { 5, 40, 1 << 20 }, 0 },
};

} // namespace

// Every entry exactly once, in inode order within each batch, and the batch
// handed back to the budget once the folder is read.
TEST(InodeOrder, GivesEveryEntryOnceAndSortsEachBatch)
{
    for (const ReadCase& c : kReadCases) {
        SCOPED_TRACE(c.what);
        TempDir tmp;
        std::set<std::string> made;
        for (int i = 0; i < 150; ++i) {
            // Names of varying length, so that batches end on their bytes.
            const std::string name = "f" + std::string(static_cast<std::size_t>(i % 7), 'x') + std::to_string(i);
            writeFile(tmp / name, "x");
            made.insert(name);
        }
        makeFolders(tmp / "sub");
        made.insert("sub");

        auto budget = std::make_shared<BatchBudget>(c.budget);
        {
            InodeOrderReader reader(
                openListing(UniqueFd(open(tmp.path().c_str(), kOpenFolderFlags))), budget, c.limits);
            std::vector<ListingEntry> seen;
            ListingEntry entry;
            int error = 0;
            while (reader.next(entry, error))
                seen.push_back(entry);
            EXPECT_EQ(error, 0);

            std::multiset<std::string> names;
            for (const ListingEntry& e : seen) {
                names.insert(e.name);
                struct stat info;
                ASSERT_EQ(fstatat(AT_FDCWD, (tmp / e.name).c_str(), &info, AT_SYMLINK_NOFOLLOW), 0) << e.name;
                EXPECT_EQ(e.inode, info.st_ino) << e.name;
            }
            EXPECT_EQ(names, std::multiset<std::string>(made.begin(), made.end()));

            // After the entries given in listing order, each batch rises.
            const std::size_t first = std::min(c.limits.listedFirst, seen.size());
            if (c.budget > 0 && c.limits.batchNameBytes > 1000) {
                for (std::size_t at = first; at < seen.size(); at += c.limits.batchEntries) {
                    const std::size_t end = std::min(seen.size(), at + c.limits.batchEntries);
                    for (std::size_t i = at + 1; i < end; ++i)
                        EXPECT_LT(seen[i - 1].inode, seen[i].inode) << "entry " << i;
                }
            }
        }
        // Every batch went back, and the reader holds none when it is gone.
        for (int i = 0; i < c.budget; ++i)
            EXPECT_TRUE(budget->take());
        EXPECT_FALSE(budget->take());
    }
}

// Through the engine: folders read in inode order batch by batch, shared
// between workers, with folders among the files, are removed whole.
TEST(InodeOrder, TreesAreRemovedWholeThroughTheEngine)
{
    const struct {
        unsigned workers;
        InodeOrderLimits limits;
        int budget;
    } cases[] = {
        { 1, { 3, 16, 1 << 20 }, 1 },
        { 3, { 3, 16, 1 << 20 }, 1 },
        { 3, { 0, 7, 64 }, 3 },
        { 2, { 3, 16, 1 << 20 }, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("workers " + std::to_string(c.workers) + ", budget " + std::to_string(c.budget));
        TempDir tmp;
        for (int i = 0; i < 120; ++i)
            writeFile(tmp / ("tree/big/f" + std::to_string(i)), "x");
        for (int j = 0; j < 6; ++j)
            for (int i = 0; i < 20; ++i)
                writeFile(tmp / ("tree/big/s" + std::to_string(j) + "/f" + std::to_string(i)), "x");
        writeFile(chain(tmp / "tree/deep", 12) + "/leaf", "x");

        auto budget = std::make_shared<BatchBudget>(c.budget);
        RemovalSettings settings;
        settings.workers = c.workers;
        settings.window = 4;
        settings.listings = [&](UniqueFd folder, const std::string&) -> std::unique_ptr<EntryReader> {
            ListingPtr listing = openListing(std::move(folder));
            if (!listing)
                return nullptr;
            return std::make_unique<InodeOrderReader>(std::move(listing), budget, c.limits);
        };
        const RemovalResult result = removePath(tmp / "tree", settings);
        EXPECT_TRUE(result.ok()) << describe(result);
        EXPECT_FALSE(entryExists(tmp / "tree"));
        for (int i = 0; i < c.budget; ++i)
            EXPECT_TRUE(budget->take());
        EXPECT_FALSE(budget->take());
    }
}

} // namespace remover
