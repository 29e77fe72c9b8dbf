// A FUSE mount whose daemon never answers leaves whoever looks at it waiting
// in the kernel. These tests make such mounts for real, in a private mount
// namespace of a child process, and check that the removal never touches them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

#include "EntryRemoval.h"
#include "FolderListing.h"
#include "RemovalTool.h"
#include "TestSupport.h"
#include "UntrustedMounts.h"

namespace remover {

using namespace testsupport;

namespace {

// A child that hangs in the kernel longer than this has touched a mount.
const unsigned kHangSeconds = 20;

// The devices of the FUSE mounts this process made, which only the process
// that holds the mount namespace keeps open.
std::vector<int> g_fuseDevices;
// A device opened there for a mount that the removal's own process makes.
int g_lateDevice = -1;

// Mounts a FUSE file system at `path` whose daemon never answers: nobody ever
// reads the device.
bool mountSilentFuseWith(int device, const std::string& path)
{
    const std::string options
        = "fd=" + std::to_string(device) + ",rootmode=40000,user_id=65534,group_id=65534,allow_other";
    return mount("silent", path.c_str(), "fuse.silent", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
}

bool mountSilentFuse(const std::string& path)
{
    const int device = open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (device < 0)
        return false;
    g_fuseDevices.push_back(device);
    return mountSilentFuseWith(device, path);
}

const int kSkipped = 77;
const int kHung = 124;

// Runs `body` in a process of its own, inside a child with a mount namespace
// of its own that `prepare` mounts in. The child alone keeps the FUSE devices:
// when `body` is still running after kHangSeconds, closing them aborts every
// request it waits in, so that no process and no mount outlives the test.
// The exit status of `body`; kSkipped when the namespace or a mount could not
// be made, kHung when it hung.
int inPrivateMountNamespace(const std::function<bool()>& prepare, const std::function<int()>& body)
{
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 || !prepare())
            _exit(kSkipped);
        const pid_t worker = fork();
        if (worker == 0) {
            for (const int device : g_fuseDevices)
                close(device);
            _exit(body());
        }
        int status = 0;
        for (unsigned waited = 0; waitpid(worker, &status, WNOHANG) == 0; ++waited) {
            if (waited == kHangSeconds * 100) {
                for (const int device : g_fuseDevices)
                    close(device);
                close(g_lateDevice);
                kill(worker, SIGKILL);
                waitpid(worker, nullptr, 0);
                _exit(kHung);
            }
            usleep(10 * 1000);
        }
        _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

TEST(UntrustedMounts, ProgramServedMountPointsFromTheMountTable)
{
    const std::string table = "21 26 0:20 / /proc rw,relatime - proc proc rw\n"
                              "67 46 0:39 / /home/u/Documents rw,nosuid,nodev - fuse.sshfs host: rw,user_id=1000\n"
                              "68 46 0:40 / /home/u/My\\040Drive rw shared:7 master:2 - fuse gvfsd rw\n"
                              "69 46 8:1 / /media/usb rw - fuseblk /dev/sdb1 rw\n"
                              "70 46 8:2 / /home/u/notfuse rw - ext4 /dev/sda2 rw\n"
                              "71 46 0:41 / /tmp/a\\134b rw - fuse.x x rw\n"
                              "broken line\n";
    const std::vector<std::string> expected = { "/home/u/Documents", "/home/u/My Drive", "/media/usb", "/tmp/a\\b" };
    const std::vector<ProgramServedMount> mounts = programServedMounts(table);
    ASSERT_EQ(mounts.size(), expected.size());
    for (std::size_t i = 0; i < mounts.size(); ++i)
        EXPECT_EQ(mounts[i].mountPoint, expected[i]);
    EXPECT_EQ(mounts[0].mountId, 67u);
    EXPECT_EQ(mounts[0].device, makedev(0, 39));
    EXPECT_EQ(mounts[2].device, makedev(8, 1));
}

class SilentFuse : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root to mount in a private mount namespace";
        if (access("/dev/fuse", R_OK | W_OK) != 0)
            GTEST_SKIP() << "no /dev/fuse here";
        writeFile(home() + "/Documents/Nordaxis/data/f", "x");
        writeFile(home() + "/Library/Preferences/com.nordaxis.a.plist", "x");
        writeFile(home() + "/Library/Application Support/Nordaxis/f", "x");
    }
    std::string home() const { return m_tmp / "home"; }

    TempDir m_tmp;
};

TEST_F(SilentFuse, RemovalNeverTouchesTheMount)
{
    const struct {
        const char* what;
        const char* mountPoint; // inside the home
        int mask;
        RemovalStep why; // of the first entry that stays; None: no entry reported
    } cases[] = {
        { "on the way to an entry", "Documents", 4, RemovalStep::UntrustedMount },
        { "the entry itself", "Documents/Nordaxis", 4, RemovalStep::UntrustedMount },
        { "inside an entry", "Documents/Nordaxis/data", 4, RemovalStep::UntrustedMount },
        { "on the way to the listed folder", "Library/Preferences", 2, RemovalStep::UntrustedMount },
        { "the home itself", "", 6, RemovalStep::UntrustedMount },
    };
    const int kOtherReason = 3;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string mountPoint = home() + (*c.mountPoint ? "/" : "") + c.mountPoint;
        const int status = inPrivateMountNamespace([&] { return mountSilentFuse(mountPoint); },
            [&] {
                const RemovalOutcome outcome = runRemoval(c.mask, home(), m_tmp / "no-machine-root");
                const RemovalStep first = outcome.failures.empty() ? RemovalStep::None : outcome.failures[0].why.step;
                return outcome.ok ? 0 : first == c.why ? 1 : kOtherReason;
            });
        if (status == kSkipped)
            GTEST_SKIP() << "cannot mount FUSE in a private mount namespace here";
        EXPECT_EQ(status, 1) << "1: failed without hanging, for the mount rule; " << kOtherReason
                             << ": for another reason; " << kHung << ": hung on the mount";
    }

    // With the same mount elsewhere, the home is removed as always.
    const std::string elsewhere = m_tmp / "elsewhere";
    makeFolders(elsewhere);
    EXPECT_EQ(inPrivateMountNamespace([&] { return mountSilentFuse(elsewhere); },
                  [&] { return runRemoval(6, home(), m_tmp / "no-machine-root").ok ? 0 : 1; }),
        0);
    EXPECT_FALSE(entryExists(home() + "/Documents/Nordaxis"));
}

TEST_F(SilentFuse, ToolGivesItsVerdictWithoutTouchingTheMount)
{
    if (const auto folder = existingMachineWideFolder())
        GTEST_SKIP() << *folder << " exists on this machine; the tool would remove it";
    const std::string result = m_tmp / "r.log";
    const int status = inPrivateMountNamespace([&] { return mountSilentFuse(home() + "/Documents/Nordaxis"); },
        [&] {
            return runProgram({ TW_REMOVAL_TOOL, "6", home(), result }).exitStatus;
        });
    if (status == kSkipped)
        GTEST_SKIP() << "cannot mount FUSE in a private mount namespace here";
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readFile(result), "failed");
    EXPECT_FALSE(entryExists(home() + "/Library/Preferences/com.nordaxis.a.plist"));
}

// Mounts that appear or move while the removal runs: one made inside an entry
// after its folder was opened, one whose folder above was renamed after the
// mount table was read.
TEST_F(SilentFuse, MountsMadeOrMovedDuringTheRunAreNotEntered)
{
    const std::string entry = home() + "/Documents/Nordaxis";
    makeFolders(entry + "/late");
    makeFolders(entry + "/before/mounted");
    writeFile(entry + "/late/f", "x");
    const auto removeEntry = [&](const ListingSource& listings) -> int {
        const UniqueFd documents(open((home() + "/Documents").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        RemovalSettings settings;
        settings.listings = listings;
        return removeEntryAt(documents.get(), "Nordaxis", settings).ok() ? 0 : 1;
    };

    int status = inPrivateMountNamespace(
        [] {
            g_lateDevice = open("/dev/fuse", O_RDWR | O_CLOEXEC);
            return g_lateDevice >= 0;
        },
        [&] {
            return removeEntry([&](UniqueFd folder, const std::string& name) {
                if (name == "Nordaxis") {
                    if (!mountSilentFuseWith(g_lateDevice, entry + "/late"))
                        _exit(kSkipped);
                    close(g_lateDevice);
                }
                return EntryReader::open(std::move(folder));
            });
        });
    if (status == kSkipped)
        GTEST_SKIP() << "cannot mount FUSE in a private mount namespace here";
    EXPECT_EQ(status, 1) << "a mount made during the run: 1 failed; " << kHung << " hung";
    EXPECT_TRUE(entryExists(entry + "/late"));

    makeFolders(entry + "/before/mounted");
    status = inPrivateMountNamespace([&] { return mountSilentFuse(entry + "/before/mounted"); },
        [&] {
            learnUntrustedMounts();
            if (std::rename((entry + "/before").c_str(), (entry + "/renamed").c_str()) != 0)
                return 2;
            const UniqueFd renamed(open((entry + "/renamed").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (!isUntrustedMountPoint(renamed.get(), "mounted"))
                return 3;
            return removeEntry(nullptr);
        });
    EXPECT_EQ(status, 1) << "a mount whose folder above was renamed: 3 not known by its mount, " << kHung << " hung";
}

// A file system of the user's own (an image the desktop's disk service
// mounts for them) linked from the home: the removal does not leave the
// home's file system, and never asks that one anything.
TEST_F(SilentFuse, FileSystemsOtherThanTheHomesAreNotEntered)
{
    const auto user = ordinaryUser();
    if (!user)
        GTEST_SKIP() << "no ordinary account to own the home";
    const std::string image = m_tmp / "disk.img", mounted = m_tmp / "media";
    makeFolders(mounted);
    const std::string makeImage = "truncate -s 8M '" + image + "' && mkfs.ext4 -q -F '" + image + "' 2>/dev/null";
    if (std::system(makeImage.c_str()) != 0)
        GTEST_SKIP() << "cannot make an ext4 image here (mkfs.ext4)";
    std::filesystem::remove_all(home() + "/Documents");
    makeSymlink(mounted, home() + "/Documents");
    giveTo(home(), user->uid, user->gid);
    ASSERT_EQ(lchown((home() + "/Documents").c_str(), user->uid, user->gid), 0);

    const int status = inPrivateMountNamespace(
        [&] {
            const std::string command = "mount -o loop '" + image + "' '" + mounted + "' 2>/dev/null";
            if (std::system(command.c_str()) != 0)
                return false;
            writeFile(mounted + "/Nordaxis/data", "x");
            giveTo(mounted, user->uid, user->gid);
            return true;
        },
        [&] {
            const bool ok = runRemoval(6, home(), m_tmp / "no-machine-root").ok;
            const bool kept = entryExists(mounted + "/Nordaxis/data");
            return (ok ? 0 : 1) + (kept ? 0 : 2);
        });
    if (status == kSkipped)
        GTEST_SKIP() << "cannot loop-mount an image in a private mount namespace here";
    EXPECT_EQ(status, 1) << "1: failed and kept; 0 or 2: removed from another file system";
    EXPECT_FALSE(entryExists(home() + "/Library/Preferences/com.nordaxis.a.plist"));
}

} // namespace remover
