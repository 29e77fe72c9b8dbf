#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "RemovalTool.h"
#include "TestSupport.h"
#include "TreeRemoval.h"

using namespace testsupport;

TEST(TreeRemoval, RemovesFilesFoldersAndDeepTrees)
{
    TempDir tmp;
    writeFile(tmp / "file.txt", "x");
    writeFile(tmp / "tree/a/b/c.txt", "x");
    writeFile(tmp / "tree/a/d.txt", "x");
    makeFolders(tmp / "tree/empty");
    makeSymlink("../outside", tmp / "tree/a/dangling");
    std::string deep = tmp / "deep";
    for (int i = 0; i < 300; ++i)
        deep += "/d";
    writeFile(deep + "/leaf", "x");

    EXPECT_TRUE(removeItem(tmp / "file.txt"));
    EXPECT_TRUE(removeItem(tmp / "tree/"));
    EXPECT_TRUE(removeItem(tmp / "deep"));
    EXPECT_FALSE(entryExists(tmp / "file.txt"));
    EXPECT_FALSE(entryExists(tmp / "tree"));
    EXPECT_FALSE(entryExists(tmp / "deep"));
    // Something that vanished before its removal is gone: no failure.
    EXPECT_TRUE(removeItem(tmp / "never-there"));
}

TEST(TreeRemoval, LinksAreRemovedAsLinksAndTheirTargetsStay)
{
    TempDir tmp;
    writeFile(tmp / "outside/keep.txt", "keep");
    makeFolders(tmp / "tree/sub");
    makeSymlink(tmp / "outside", tmp / "tree/sub/to-outside");
    makeSymlink(tmp / "outside/keep.txt", tmp / "tree/to-file");
    makeSymlink(tmp / "outside", tmp / "link-to-folder");

    EXPECT_TRUE(removeAll({tmp / "tree", tmp / "link-to-folder"}));
    EXPECT_FALSE(entryExists(tmp / "tree"));
    EXPECT_FALSE(entryExists(tmp / "link-to-folder"));
    EXPECT_EQ(readFile(tmp / "outside/keep.txt"), "keep");
}

TEST(TreeRemoval, DanglingLinkCountsAsAbsentAndStays)
{
    TempDir tmp;
    makeSymlink(tmp / "missing-target", tmp / "dangling");
    EXPECT_FALSE(itemExists(tmp / "dangling"));
    EXPECT_TRUE(removeAll({tmp / "dangling"}));
    EXPECT_TRUE(isSymlink(tmp / "dangling"));
}

TEST(TreeRemoval, FailureInTheMiddleStillRemovesLaterEntries)
{
    TempDir tmp;
    openUpPermissions(tmp.path());
    // Writable by the ordinary user: "free" and "tree"; not: "locked".
    writeFile(tmp / "locked/stays.txt", "x");
    writeFile(tmp / "open/free.txt", "x");
    writeFile(tmp / "open/tree/inner/a.txt", "x");
    writeFile(tmp / "open/tree/locked-inner/stays.txt", "x");
    writeFile(tmp / "open/tree/z.txt", "x");
    if (geteuid() == 0) {
        const auto user = ordinaryUser();
        if (!user)
            GTEST_SKIP() << "running as root and no ordinary account to drop to";
        giveTo(tmp / "open", user->uid, user->gid);
        lchown((tmp / "open/tree/locked-inner").c_str(), 0, 0);
        lchown((tmp / "open/tree/locked-inner/stays.txt").c_str(), 0, 0);
    } else {
        chmod((tmp / "locked").c_str(), 0555);
        chmod((tmp / "open/tree/locked-inner").c_str(), 0555);
    }

    const RemovalList list = {tmp / "locked/stays.txt", tmp / "open/tree", tmp / "open/free.txt"};
    std::string whyNot;
    const auto status = runInChildAsOrdinaryUser([&] { return removeAll(list) ? 0 : 1; }, &whyNot);
    if (!status)
        GTEST_SKIP() << "needs an ordinary user: " << whyNot;
    EXPECT_EQ(*status, 1) << "a failed removal must give a failed verdict";
    EXPECT_TRUE(entryExists(tmp / "locked/stays.txt"));
    EXPECT_TRUE(entryExists(tmp / "open/tree/locked-inner/stays.txt"));
    EXPECT_FALSE(entryExists(tmp / "open/tree/inner"));
    EXPECT_FALSE(entryExists(tmp / "open/tree/z.txt"));
    EXPECT_FALSE(entryExists(tmp / "open/free.txt"));
}

TEST(TreeRemoval, DoesNotCrossIntoAnotherFileSystem)
{
    TempDir tmp;
    writeFile(tmp / "tree/before.txt", "x");
    makeFolders(tmp / "tree/mounted");
    if (mount("tmpfs", (tmp / "tree/mounted").c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root and mount rights)";
    writeFile(tmp / "tree/mounted/other-fs.txt", "keep");

    const bool removed = removeItem(tmp / "tree");
    const bool stayed = entryExists(tmp / "tree/mounted/other-fs.txt");
    umount((tmp / "tree/mounted").c_str());
    EXPECT_FALSE(removed);
    EXPECT_TRUE(stayed);
    EXPECT_FALSE(entryExists(tmp / "tree/before.txt"));
}

// A second thread keeps swapping a folder inside the tree for a link to a
// folder outside it while the tree is removed. The outside folder must
// survive every round.
TEST(TreeRemoval, SwappingAFolderForALinkCannotLeadOutside)
{
    const int kRounds = 30;
    const int kFiles = 100;
    for (int round = 0; round < kRounds; ++round) {
        TempDir tmp;
        writeFile(tmp / "outside/keep.txt", "keep");
        for (int i = 0; i < kFiles; ++i) {
            writeFile(tmp / ("tree/a/victim/f" + std::to_string(i)), "x");
            writeFile(tmp / ("tree/a/other" + std::to_string(i)), "x");
        }
        const std::string victim = tmp / "tree/a/victim";
        const std::string parked = tmp / "tree/a/parked";
        const std::string outside = tmp / "outside";

        std::atomic<bool> stop{false};
        std::thread attacker([&] {
            while (!stop.load()) {
                if (std::rename(victim.c_str(), parked.c_str()) == 0) {
                    symlink(outside.c_str(), victim.c_str());
                    std::this_thread::yield();
                    unlink(victim.c_str());
                    std::rename(parked.c_str(), victim.c_str());
                } else {
                    symlink(outside.c_str(), victim.c_str());
                }
            }
        });
        removeItem(tmp / "tree");
        stop = true;
        attacker.join();

        ASSERT_EQ(readFile(tmp / "outside/keep.txt"), "keep") << "round " << round;
        ASSERT_TRUE(entryExists(outside)) << "round " << round;
    }
}
