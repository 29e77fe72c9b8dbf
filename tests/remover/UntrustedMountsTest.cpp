// A FUSE mount whose daemon never answers leaves whoever looks at it waiting
// in the kernel. These tests make such mounts for real, in a private mount
// namespace of a child process, and check that the removal never touches them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include "RemovalTool.h"
#include "TestSupport.h"
#include "UntrustedMounts.h"

namespace remover {

using namespace testsupport;

namespace {

// A child that hangs in the kernel longer than this has touched a mount.
const unsigned kHangSeconds = 20;

// Mounts a FUSE file system at `path` whose daemon never answers: nobody ever
// reads the device. The device stays open for as long as the process lives.
bool mountSilentFuse(const std::string& path)
{
    const int device = open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (device < 0)
        return false;
    const std::string options
        = "fd=" + std::to_string(device) + ",rootmode=40000,user_id=65534,group_id=65534,allow_other";
    return mount("silent", path.c_str(), "fuse.silent", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
}

// Runs `body` in a child with a mount namespace of its own; the exit status,
// 77 when the namespace or the mount could not be made, 128 + signal when killed.
int inPrivateMountNamespace(const std::function<bool()>& prepare, const std::function<int()>& body)
{
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 || !prepare())
            _exit(77);
        alarm(kHangSeconds);
        _exit(body());
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
    EXPECT_EQ(programServedMountPoints(table), expected);
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
    } cases[] = {
        { "on the way to an entry", "Documents", 4 },
        { "the entry itself", "Documents/Nordaxis", 4 },
        { "inside an entry", "Documents/Nordaxis/data", 4 },
        { "on the way to the listed folder", "Library/Preferences", 2 },
        { "the home itself", "", 6 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string mountPoint = home() + (*c.mountPoint ? "/" : "") + c.mountPoint;
        const int status = inPrivateMountNamespace([&] { return mountSilentFuse(mountPoint); },
            [&] { return runRemoval(c.mask, home(), m_tmp / "no-machine-root").ok ? 0 : 1; });
        if (status == 77)
            GTEST_SKIP() << "cannot mount FUSE in a private mount namespace here";
        EXPECT_EQ(status, 1) << "1: failed without hanging; " << 128 + SIGALRM << ": hung on the mount";
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
    if (status == 77)
        GTEST_SKIP() << "cannot mount FUSE in a private mount namespace here";
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readFile(result), "failed");
    EXPECT_FALSE(entryExists(home() + "/Library/Preferences/com.nordaxis.a.plist"));
}

} // namespace remover
