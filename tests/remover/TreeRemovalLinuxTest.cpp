// Tree removal against what only Linux can set up: mounts, bind mounts in a
// private mount namespace, and inotify to stop the walk at a chosen moment.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>

#include "RemovalTestHelpers.h"
#include "TestSupport.h"

namespace remover {

using namespace testsupport;
using namespace removaltest;

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

// While the walk is deep in a chain, a folder far above it (long closed, to
// be climbed back to) is moved aside and another put in its place. Nothing in
// the replacement is touched and the removal fails.
TEST(TreeRemoval, ClimbBackToAMovedFolderDeletesNothingThere)
{
    const int kFiles = 1500;
    for (int attempt = 0; attempt < 5; ++attempt) {
        TempDir tmp;
        const std::string leaf = chain(tmp / "tree/a/b", 100);
        for (int i = 0; i < kFiles; ++i)
            writeFile(leaf + "/f" + std::to_string(i), "x");
        makeFolders(tmp / "aside");

        const int watch = inotify_init1(IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(inotify_add_watch(watch, leaf.c_str(), IN_DELETE), 0);
        bool stoppedBelow = false;
        const int status = runInChild(
            [&] {
                RemovalSettings settings;
                settings.window = 4;
                return removeItem(tmp / "tree", settings) ? 0 : 1;
            },
            [&](pid_t child) {
                // A child that ends before its first deletion sends no event.
                struct pollfd ready = { watch, POLLIN, 0 };
                char event[4096];
                if (poll(&ready, 1, 30000) != 1 || read(watch, event, sizeof event) <= 0)
                    return;
                kill(child, SIGSTOP);
                // Still at work in the leaf: the walk is below "b".
                stoppedBelow = entryExists(leaf + "/f" + std::to_string(kFiles - 1))
                    || entryExists(leaf + "/f" + std::to_string(kFiles - 2));
                if (stoppedBelow) {
                    std::rename((tmp / "tree/a/b").c_str(), (tmp / "aside/b").c_str());
                    writeFile(tmp / "tree/a/b/keep.txt", "keep");
                    writeFile(tmp / "tree/a/b/d/keep.txt", "keep");
                }
                kill(child, SIGCONT);
            });
        close(watch);
        if (!stoppedBelow)
            continue; // the walk left the leaf before it could be stopped: try again
        EXPECT_EQ(status, 1) << "a climb to another folder must fail the removal";
        EXPECT_EQ(readFile(tmp / "tree/a/b/keep.txt"), "keep");
        EXPECT_EQ(readFile(tmp / "tree/a/b/d/keep.txt"), "keep");
        return;
    }
    GTEST_SKIP() << "could not stop the walk while it was below the moved folder";
}

// In a private mount namespace, a folder of the same file system bind-mounted
// inside the tree, or as the entry itself, keeps every file and the removal
// fails.
TEST(TreeRemoval, BindMountsOfTheSameFileSystemAreNeverEntered)
{
    TempDir tmp;
    writeFile(tmp / "source/keep.txt", "keep");
    writeFile(tmp / "source/sub/keep.txt", "keep");
    writeFile(tmp / "tree/before.txt", "x");
    makeFolders(tmp / "tree/a/mounted");
    makeFolders(tmp / "entry");

    const int status = runInChild([&] {
        if (!enterPrivateMountNamespace()
            || mount((tmp / "source").c_str(), (tmp / "tree/a/mounted").c_str(), nullptr, MS_BIND, nullptr) != 0
            || mount((tmp / "source").c_str(), (tmp / "entry").c_str(), nullptr, MS_BIND, nullptr) != 0)
            return kChildSkips;
        int failures = 0;
        if (removePath(tmp / "tree").step != RemovalStep::MountRoot)
            failures |= 1;
        if (removePath(tmp / "entry").step != RemovalStep::MountRoot)
            failures |= 2;
        if (!entryExists(tmp / "tree/a/mounted/keep.txt") || !entryExists(tmp / "entry/sub/keep.txt"))
            failures |= 4;
        if (entryExists(tmp / "tree/before.txt"))
            failures |= 8;
        return failures;
    });
    if (status == kChildSkips)
        GTEST_SKIP() << "cannot make a private mount namespace with bind mounts (needs root)";
    EXPECT_EQ(status & 1, 0) << "a tree holding a bind mount must fail at the mount";
    EXPECT_EQ(status & 2, 0) << "a bind-mounted entry must fail at the mount";
    EXPECT_EQ(status & 4, 0) << "a file under a bind mount was deleted";
    EXPECT_EQ(status & 8, 0) << "the rest of the tree must still go";
    EXPECT_EQ(readFile(tmp / "source/keep.txt"), "keep");
    EXPECT_EQ(readFile(tmp / "source/sub/keep.txt"), "keep");
}

} // namespace remover
