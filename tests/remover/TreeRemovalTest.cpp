#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include "RemovalTestHelpers.h"
#include "RemovalTool.h"
#include "TestSupport.h"
#include "TreeRemoval.h"
#include "UniqueFd.h"

namespace remover {

using namespace testsupport;
using namespace removaltest;

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

    EXPECT_TRUE(removeAll({ tmp / "tree", tmp / "link-to-folder" }));
    EXPECT_FALSE(entryExists(tmp / "tree"));
    EXPECT_FALSE(entryExists(tmp / "link-to-folder"));
    EXPECT_EQ(readFile(tmp / "outside/keep.txt"), "keep");
}

TEST(TreeRemoval, DanglingLinkCountsAsAbsentAndStays)
{
    TempDir tmp;
    makeSymlink(tmp / "missing-target", tmp / "dangling");
    struct stat target;
    EXPECT_NE(stat((tmp / "dangling").c_str(), &target), 0) << "the link leads nowhere";
    EXPECT_TRUE(removeAll({ tmp / "dangling" }));
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
    // Enough folders for the workers to share the tree, the locked one deep inside.
    for (int i = 0; i < 40; ++i)
        for (int j = 0; j < 5; ++j)
            writeFile(tmp / ("open/tree/s" + std::to_string(i) + "/f" + std::to_string(j)), "x");
    writeFile(tmp / "open/tree/s17/x/y/locked-deep/stays.txt", "x");
    if (geteuid() == 0) {
        const auto user = ordinaryUser();
        if (!user)
            GTEST_SKIP() << "running as root and no ordinary account to drop to";
        giveTo(tmp / "open", user->uid, user->gid);
        lchown((tmp / "open/tree/locked-inner").c_str(), 0, 0);
        lchown((tmp / "open/tree/locked-inner/stays.txt").c_str(), 0, 0);
        lchown((tmp / "open/tree/s17/x/y/locked-deep").c_str(), 0, 0);
        lchown((tmp / "open/tree/s17/x/y/locked-deep/stays.txt").c_str(), 0, 0);
    } else {
        chmod((tmp / "locked").c_str(), 0555);
        chmod((tmp / "open/tree/locked-inner").c_str(), 0555);
        chmod((tmp / "open/tree/s17/x/y/locked-deep").c_str(), 0555);
    }

    const RemovalList list = { tmp / "locked/stays.txt", tmp / "open/tree", tmp / "open/free.txt" };
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
    EXPECT_TRUE(entryExists(tmp / "open/tree/s17/x/y/locked-deep/stays.txt"));
    EXPECT_FALSE(entryExists(tmp / "open/tree/s17/f0"));
    for (int i = 0; i < 40; ++i) {
        if (i != 17) {
            EXPECT_FALSE(entryExists(tmp / ("open/tree/s" + std::to_string(i)))) << i;
        }
    }
}

// A second thread keeps swapping a folder inside the tree for a link to a
// folder outside it while the tree is removed, at several depths and with
// sibling folders that keep more than one worker busy. The outside folder
// must survive every round.
TEST(TreeRemoval, SwappingAFolderForALinkCannotLeadOutside)
{
    const int kRounds = 30;
    const int kFiles = 100;
    const std::string kVictimFolders[] = { "tree/", "tree/a/", "tree/a/b/c/" };
    for (int round = 0; round < kRounds; ++round) {
        TempDir tmp;
        const std::string at = kVictimFolders[round % 3];
        writeFile(tmp / "outside/keep.txt", "keep");
        for (int i = 0; i < kFiles; ++i) {
            writeFile(tmp / (at + "victim/f" + std::to_string(i)), "x");
            writeFile(tmp / (at + "other" + std::to_string(i)), "x");
            if (i % 10 == 0)
                writeFile(tmp / ("tree/a/s" + std::to_string(i) + "/f"), "x");
        }
        const std::string victim = tmp / (at + "victim");
        const std::string parked = tmp / (at + "parked");
        const std::string outside = tmp / "outside";

        std::atomic<bool> stop { false };
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

TEST(TreeRemoval, RemoveEntryAtTakesOneNameAndLeavesTheParentOpen)
{
    TempDir tmp;
    writeFile(tmp / "file", "x");
    writeFile(tmp / "folder/inner/f", "x");
    writeFile(tmp / "a/b", "keep");
    const int parentFd = open(tmp.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(parentFd, 0);
    const struct {
        const char* name;
        bool removed;
    } cases[] = { { "file", true }, { "folder", true }, { "missing", true }, { "a/b", false }, { "..", false },
        { "", false } };
    for (const auto& c : cases)
        EXPECT_EQ(removeEntryAt(parentFd, c.name).ok(), c.removed) << c.name;
    EXPECT_NE(fcntl(parentFd, F_GETFD), -1) << "the caller's folder must stay open";
    close(parentFd);
    EXPECT_FALSE(entryExists(tmp / "file"));
    EXPECT_FALSE(entryExists(tmp / "folder"));
    EXPECT_EQ(readFile(tmp / "a/b"), "keep");
}

// Under a soft limit of 64 open files, a chain far deeper than that, with
// folders to share at the top and the bottom, is removed completely.
TEST(TreeRemoval, RemovesTreesDeeperThanTheOpenFileLimit)
{
    TempDir tmp;
    const std::string bottom = chain(tmp / "tree", 400);
    for (int i = 0; i < 20; ++i) {
        writeFile(tmp / ("tree/s" + std::to_string(i) + "/f"), "x");
        writeFile(bottom + "/s" + std::to_string(i) + "/f", "x");
    }
    writeFile(chain(tmp / "tree", 200) + "/middle", "x");

    const int status = runInChild([&] {
        if (!lowerOpenFileLimit(64))
            return kChildSkips;
        return removeItem(tmp / "tree") ? 0 : 1;
    });
    if (status == kChildSkips)
        GTEST_SKIP() << "cannot lower the open-file limit";
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(entryExists(tmp / "tree"));
}

// Each entry that stays is reported with the step that failed and its errno;
// entries that are gone or absent are not reported.
TEST(TreeRemoval, EntriesThatStaySayWhy)
{
    TempDir tmp;
    writeFile(tmp / "present/file", "x");
    const std::string tooLong(300, 'n');
    const struct {
        std::string path;
        RemovalStep step; // None: not reported
        int error;
    } cases[] = {
        { tmp / "present", RemovalStep::None, 0 },
        { tmp / "absent", RemovalStep::None, 0 },
        { tmp / tooLong, RemovalStep::LookUp, ENAMETOOLONG },
        { "relative/entry", RemovalStep::LookUp, EINVAL },
        { tmp / "present/..", RemovalStep::NotAName, EINVAL },
    };
    RemovalList list;
    for (const auto& c : cases)
        list.push_back(c.path);
    std::vector<EntryFailure> failures;
    EXPECT_FALSE(removeAll(list, {}, &failures));
    std::size_t reported = 0;
    for (const auto& c : cases) {
        const auto found = std::find_if(
            failures.begin(), failures.end(), [&](const EntryFailure& failure) { return failure.path == c.path; });
        if (c.step == RemovalStep::None) {
            EXPECT_TRUE(found == failures.end()) << c.path;
            continue;
        }
        ++reported;
        ASSERT_TRUE(found != failures.end()) << c.path;
        EXPECT_EQ(found->why.step, c.step) << c.path << ": " << describe(found->why);
        EXPECT_EQ(found->why.error, c.error) << c.path << ": " << describe(found->why);
    }
    EXPECT_EQ(failures.size(), reported);
    EXPECT_FALSE(entryExists(tmp / "present"));
}

// A chain that a user keeps growing at its tip would keep root busy without
// end: the walk goes only so deep, and what lies deeper stays.
TEST(TreeRemoval, DepthIsBounded)
{
    const struct {
        int levels; // folders below the entry
        std::size_t maxDepth;
        bool removed;
    } cases[] = { { 3, 5, true }, { 5, 5, true }, { 6, 5, false }, { 1, 0, false }, { 0, 0, true } };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.levels) + " levels, bound " + std::to_string(c.maxDepth));
        TempDir tmp;
        std::string deepest = tmp / "chain";
        for (int i = 0; i < c.levels; ++i)
            deepest += "/d";
        writeFile(deepest + "/f", "x");
        const UniqueFd parent(open(tmp.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        RemovalSettings settings;
        settings.policy.maxDepth = c.maxDepth;
        const RemovalResult result = removeEntryAt(parent.get(), "chain", settings);
        EXPECT_EQ(result.ok(), c.removed);
        if (!c.removed) {
            EXPECT_EQ(result.step, RemovalStep::TooDeep) << describe(result);
        }
        EXPECT_EQ(entryExists(deepest + "/f"), !c.removed);
    }
}

} // namespace remover
