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
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "EntryRemoval.h"
#include "RemovalTestHelpers.h"
#include "RemovalTool.h"
#include "TestSupport.h"
#include "UniqueFd.h"

namespace remover {

using namespace testsupport;
using namespace removaltest;

namespace {

// Where the removal list puts its first entries, relative to the machine's
// root and to the home.
const char kApplication[] = "Applications/Tallowmere 5.4.1";
const char kTemplateFile[] = "Library/Application Support/Nordaxis/Tallowmere/Templates/rCRS.QMX";
const char kExternalData[] = "Documents/Nordaxis";

} // namespace

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
    const std::string home = tmp / "home";
    const std::string machine = tmp / "machine";
    const std::string application = machine + "/" + kApplication;
    writeFile(tmp / "outside/keep.txt", "keep");
    makeFolders(application + "/sub");
    makeSymlink(tmp / "outside", application + "/sub/to-outside");
    makeSymlink(tmp / "outside/keep.txt", application + "/to-file");
    makeFolders(home + "/Documents");
    makeSymlink(tmp / "outside", home + "/" + kExternalData);

    EXPECT_TRUE(runRemoval(ExternalDataHomeChoiceBit, home, machine).ok);
    EXPECT_FALSE(entryExists(application));
    EXPECT_FALSE(entryExists(home + "/" + kExternalData));
    EXPECT_EQ(readFile(tmp / "outside/keep.txt"), "keep");
}

// Machine-wide, and under the home, where an absolute target starts at "/"
// and so may leave the home's mount before it comes back.
TEST(TreeRemoval, DanglingLinkCountsAsAbsentAndStays)
{
    struct Case {
        const char* entry;
        int mask;
    };
    for (const Case& c : { Case { "machine/Applications/Tallowmere 5.4.1", 0 },
             Case { "home/Documents/Nordaxis", ExternalDataHomeChoiceBit } }) {
        SCOPED_TRACE(c.entry);
        TempDir tmp;
        const std::string dangling = tmp / c.entry;
        makeFolders(dangling.substr(0, dangling.rfind('/')));
        makeSymlink(tmp / "home/missing-target", dangling);
        struct stat target;
        EXPECT_NE(stat(dangling.c_str(), &target), 0) << "the link leads nowhere";
        EXPECT_TRUE(runRemoval(c.mask, tmp / "home", tmp / "machine").ok);
        EXPECT_TRUE(isSymlink(dangling));
    }
}

TEST(TreeRemoval, FailureInTheMiddleStillRemovesLaterEntries)
{
    // The list's first three entries with a mask of 4: the application, the
    // core template file (here a tree), the external data folder (a file).
    TempDir tmp;
    openUpPermissions(tmp.path());
    const std::string home = tmp / "home";
    const std::string machine = tmp / "machine";
    const std::string locked = machine + "/Applications";
    const std::string tree = machine + "/" + kTemplateFile;
    const std::string free = home + "/" + kExternalData;
    // Removable by the ordinary user: the tree and the data; not: the application.
    writeFile(locked + "/Tallowmere 5.4.1", "x");
    writeFile(free, "x");
    writeFile(tree + "/inner/a.txt", "x");
    writeFile(tree + "/locked-inner/stays.txt", "x");
    writeFile(tree + "/z.txt", "x");
    // Enough folders for the workers to share the tree, the locked one deep inside.
    for (int i = 0; i < 40; ++i)
        for (int j = 0; j < 5; ++j)
            writeFile(tree + "/s" + std::to_string(i) + "/f" + std::to_string(j), "x");
    writeFile(tree + "/s17/x/y/locked-deep/stays.txt", "x");
    if (geteuid() == 0) {
        const auto user = ordinaryUser();
        if (!user)
            GTEST_SKIP() << "running as root and no ordinary account to drop to";
        giveTo(machine, user->uid, user->gid);
        giveTo(home, user->uid, user->gid);
        for (const std::string& rootsOwn :
            { locked, locked + "/Tallowmere 5.4.1", tree + "/locked-inner", tree + "/locked-inner/stays.txt",
                tree + "/s17/x/y/locked-deep", tree + "/s17/x/y/locked-deep/stays.txt" })
            lchown(rootsOwn.c_str(), 0, 0);
    } else {
        chmod(locked.c_str(), 0555);
        chmod((tree + "/locked-inner").c_str(), 0555);
        chmod((tree + "/s17/x/y/locked-deep").c_str(), 0555);
    }

    std::string whyNot;
    const auto status = runInChildAsOrdinaryUser(
        [&] { return runRemoval(ExternalDataHomeChoiceBit, home, machine).ok ? 0 : 1; }, &whyNot);
    if (!status)
        GTEST_SKIP() << "needs an ordinary user: " << whyNot;
    EXPECT_EQ(*status, 1) << "a failed removal must give a failed verdict";
    EXPECT_TRUE(entryExists(locked + "/Tallowmere 5.4.1"));
    EXPECT_TRUE(entryExists(tree + "/locked-inner/stays.txt"));
    EXPECT_FALSE(entryExists(tree + "/inner"));
    EXPECT_FALSE(entryExists(tree + "/z.txt"));
    EXPECT_FALSE(entryExists(free));
    EXPECT_TRUE(entryExists(tree + "/s17/x/y/locked-deep/stays.txt"));
    EXPECT_FALSE(entryExists(tree + "/s17/f0"));
    for (int i = 0; i < 40; ++i) {
        if (i != 17) {
            EXPECT_FALSE(entryExists(tree + "/s" + std::to_string(i))) << i;
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
    for (const auto& c : cases) {
        const RemovalResult result = removeEntryAt(parentFd, c.name);
        EXPECT_EQ(result.ok(), c.removed) << c.name;
        if (!c.removed) {
            EXPECT_EQ(result.step, RemovalStep::NotAName) << c.name;
            EXPECT_EQ(result.error, EINVAL) << c.name;
        }
    }
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

// Each entry that stays is reported with the step that failed, its errno and
// where; entries that are gone or absent are not reported.
TEST(TreeRemoval, EntriesThatStaySayWhy)
{
    TempDir tmp;
    const std::string machine = tmp / "machine";
    writeFile(machine + "/" + kApplication + "/file", "x");
    const std::string tooLong(300, 'n');
    const struct {
        std::string machineRoot;
        std::string entry; // the one reported, as pathOf gives it; "": none
        RemovalStep step;
        int error;
        std::string where;
    } cases[] = {
        // The application is removed and the template file is absent.
        { machine, "", RemovalStep::None, 0, "" },
        // Each machine-wide entry: the walk to the root's long name fails.
        { tmp / tooLong, "/" + std::string(kApplication), RemovalStep::LookUp, ENAMETOOLONG,
            (tmp / tooLong).substr(1) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.machineRoot);
        const RemovalOutcome outcome = runRemoval(0, tmp / "home", c.machineRoot);
        EXPECT_EQ(outcome.ok, c.entry.empty());
        if (c.entry.empty()) {
            EXPECT_TRUE(outcome.failures.empty());
            continue;
        }
        ASSERT_EQ(outcome.failures.size(), 2u) << "both machine-wide entries";
        const EntryFailure& first = outcome.failures.front();
        EXPECT_EQ(pathOf(first.entry, tmp / "home"), c.entry);
        EXPECT_EQ(first.why.step, c.step) << describe(first.why);
        EXPECT_EQ(first.why.error, c.error) << describe(first.why);
        EXPECT_EQ(first.why.where, c.where) << describe(first.why);
    }
    EXPECT_FALSE(entryExists(machine + "/" + kApplication));
}

// An exception that ends a removal is named for what it is.
TEST(TreeRemoval, ExceptionsAreToldApart)
{
    const struct {
        std::function<void()> raise;
        RemovalStep step;
        int error;
    } cases[] = {
        { [] { throw std::bad_alloc(); }, RemovalStep::OutOfMemory, ENOMEM },
        { [] { throw std::system_error(EAGAIN, std::generic_category()); }, RemovalStep::Unexpected, EAGAIN },
        { [] { throw std::runtime_error("other"); }, RemovalStep::Unexpected, 0 },
    };
    for (const auto& c : cases) {
        try {
            c.raise();
        } catch (...) {
            const RemovalResult why = failureOfCaughtException();
            EXPECT_EQ(why.step, c.step) << describe(why);
            EXPECT_EQ(why.error, c.error) << describe(why);
        }
    }
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
