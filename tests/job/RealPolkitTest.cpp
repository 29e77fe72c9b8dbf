// The real administrator dialog on Linux: this test starts its own system bus
// and polkitd with the tool's polkit action, creates an ordinary user with a
// password, and answers the dialog as that user would, through the text
// authentication agent pkttyagent on a pseudo-terminal. Root only; everything
// it starts or puts in system folders goes again at the end.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <pwd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "JobPlatform_linux.h"
#include "PrivilegedJob.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

const char* const kUser = "tw-polkit-test";
const char* const kPassword = "correct-horse-7";
const char* const kSystemBusFolder = "/run/dbus";
const char* const kSystemBus = "/run/dbus/system_bus_socket";
const char* const kPolicy = "/usr/share/polkit-1/actions/com.nordaxis.TallowmereUninstallWizard.policy";
const char* const kPolkitd = "/usr/lib/polkit-1/polkitd";
const char* const kNeeded[] = { "/usr/bin/pkexec", "/usr/bin/pkttyagent", kPolkitd, "/usr/bin/dbus-daemon",
    "/usr/bin/dbus-send", "/usr/sbin/useradd", "/usr/sbin/userdel", "/usr/sbin/chpasswd" };

struct Dialog {
    int result = -1;
    std::string transcript; // what the agent printed on its terminal
};

bool waitReadable(int fd, int milliseconds)
{
    pollfd entry = { fd, POLLIN, 0 };
    return poll(&entry, 1, milliseconds) > 0;
}

void stop(pid_t* pid)
{
    if (*pid <= 0)
        return;
    kill(*pid, SIGTERM);
    waitpid(*pid, nullptr, 0);
    *pid = -1;
}

// Starts a program with its standard streams on /dev/null.
pid_t startQuietly(const std::vector<std::string>& argv, int keepAs3 = -1)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        for (int fd : { 0, 1, 2 })
            dup2(null, fd);
        if (keepAs3 >= 0)
            dup2(keepAs3, 3);
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

bool dropTo(const passwd& user)
{
    return setgroups(0, nullptr) == 0 && setgid(user.pw_gid) == 0 && setuid(user.pw_uid) == 0;
}

class RealPolkit : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root: it starts polkitd and a system bus and creates a user";
        for (const char* program : kNeeded) {
            if (access(program, X_OK) != 0)
                GTEST_SKIP() << program << " is missing (scripts/install-deps.sh installs it)";
        }
        if (!getgrnam("sudo"))
            GTEST_SKIP() << "no group 'sudo', whose members polkit asks for as administrators here";
        if (entryExists(kSystemBus))
            GTEST_SKIP() << kSystemBus << " exists: a system bus runs already, and this test starts its own";
        if (entryExists(kPolicy))
            GTEST_SKIP() << kPolicy << " exists: the package is installed here";
        if (getpwnam(kUser))
            GTEST_SKIP() << "a user " << kUser << " exists already";
        for (const char* path : { "/Applications/Tallowmere 5.4.1", "/Library/Application Support/Nordaxis" }) {
            if (entryExists(path))
                GTEST_SKIP() << path << " exists on this machine; the tool would remove it";
        }
        chmod(m_root.path().c_str(), 0755);
        for (const std::string& bundle : { m_installed, m_built }) {
            makeFolders(bundle + "/Contents/MacOS");
            std::filesystem::copy_file(TW_REMOVAL_TOOL, bundle + "/Contents/MacOS/main");
        }
        installPolicy();
        startDaemons();
        createUser();
    }

    void TearDown() override
    {
        stop(&m_polkitd);
        if (m_bus > 0) {
            stop(&m_bus);
            unlink(kSystemBus);
        }
        if (m_madeBusFolder)
            rmdir(kSystemBusFolder);
        if (m_installedPolicy)
            unlink(kPolicy);
        if (m_createdUser)
            runProgram({ "/usr/sbin/userdel", kUser });
    }

    void installPolicy()
    {
        std::string policy = readFile(TW_POLICY_TEMPLATE);
        const std::string placeholder = "@TW_INSTALLED_TOOL@";
        policy.replace(policy.find(placeholder), placeholder.size(), m_installed + "/Contents/MacOS/main");
        writeFile(kPolicy, policy);
        m_installedPolicy = true;
    }

    void startDaemons()
    {
        m_madeBusFolder = mkdir(kSystemBusFolder, 0755) == 0;
        int ready[2];
        ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
        m_bus = startQuietly(
            { "/usr/bin/dbus-daemon", "--system", "--nofork", "--nopidfile", "--print-address=3" }, ready[1]);
        close(ready[1]);
        const bool listening = waitReadable(ready[0], 10000);
        close(ready[0]);
        ASSERT_TRUE(listening) << "the system bus did not start";
        // polkitd must own its name before anyone asks, or the bus would start
        // one of its own.
        m_polkitd = startQuietly({ kPolkitd, "--no-debug" });
        for (int attempt = 0; attempt < 200; ++attempt) {
            const ProcessResult reply = runProgram({ "/usr/bin/dbus-send", "--system", "--print-reply",
                "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                "string:org.freedesktop.PolicyKit1" });
            if (reply.out.find("boolean true") != std::string::npos)
                return;
            usleep(50 * 1000);
        }
        FAIL() << "polkitd did not come up on the system bus";
    }

    void createUser()
    {
        ASSERT_EQ(
            runProgram({ "/usr/sbin/useradd", "-M", "-d", m_home, "-s", "/bin/sh", "-G", "sudo", kUser }).exitStatus,
            0);
        m_createdUser = true;
        FILE* chpasswd = popen("/usr/sbin/chpasswd", "w");
        ASSERT_TRUE(chpasswd);
        fprintf(chpasswd, "%s:%s\n", kUser, kPassword);
        ASSERT_EQ(pclose(chpasswd), 0);
        const passwd* user = getpwnam(kUser);
        ASSERT_TRUE(user);
        m_user = *user;
        makeFolders(m_home);
        makeFolders(m_runtime);
        giveTo(m_home, m_user.pw_uid, m_user.pw_gid);
        giveTo(m_runtime, m_user.pw_uid, m_user.pw_gid);
        chmod(m_runtime.c_str(), 0700);
    }

    // Runs the wizard's job as the user, with the agent registered for that
    // process, and types `password` when the agent asks.
    Dialog runDialog(const std::string& bundle, const std::string& password)
    {
        Dialog dialog;
        int master = -1, slave = -1;
        int go[2], registered[2], dropped[2];
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0 || pipe2(go, O_CLOEXEC) != 0
            || pipe2(registered, O_CLOEXEC) != 0 || pipe2(dropped, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "no pseudo-terminal or pipe";
            return dialog;
        }
        fchown(slave, m_user.pw_uid, m_user.pw_gid);

        const pid_t wizard = fork();
        if (wizard == 0) {
            // Only the agent may hold the notification pipe open.
            for (int fd : { master, slave, registered[0], registered[1], go[1], dropped[0] })
                close(fd);
            char byte;
            if (!dropTo(m_user))
                _exit(99);
            // polkit refuses an agent for a process that is not yet the
            // agent's user: the agent starts only after this.
            close(dropped[1]);
            if (read(go[0], &byte, 1) != 1)
                _exit(99);
            setenv("HOME", m_home.c_str(), 1);
            setenv("XDG_RUNTIME_DIR", m_runtime.c_str(), 1);
            unsetenv("TMPDIR");
            LinuxJobPlatform platform(bundle, LinuxJobPlatform::kSystemElevatorSearchPath);
            _exit(static_cast<int>(runPrivilegedJob(platform, 6)));
        }
        close(dropped[1]);
        pollfd droppedTo = { dropped[0], POLLIN, 0 };
        EXPECT_GT(poll(&droppedTo, 1, 10000), 0) << "the wizard's process did not become the user";
        close(dropped[0]);
        pid_t agent = fork();
        if (agent == 0) {
            close(master);
            setsid();
            ioctl(slave, TIOCSCTTY, 0);
            for (int fd : { 0, 1, 2 })
                dup2(slave, fd);
            dup2(registered[1], 3);
            const std::string process = std::to_string(wizard);
            if (dropTo(m_user))
                execl("/usr/bin/pkttyagent", "pkttyagent", "--process", process.c_str(), "--notify-fd", "3", nullptr);
            _exit(127);
        }
        close(slave);
        close(registered[1]);
        close(go[0]);
        // The agent closes its end once it is registered.
        pollfd hangUp = { registered[0], POLLIN, 0 };
        const bool agentReady = poll(&hangUp, 1, 10000) > 0;
        close(registered[0]);
        EXPECT_TRUE(agentReady) << "pkttyagent did not register";
        EXPECT_EQ(write(go[1], "g", 1), 1);
        close(go[1]);

        bool typed = false;
        int status = 0;
        for (int round = 0; round < 300; ++round) {
            const bool ended = waitpid(wizard, &status, WNOHANG) == wizard;
            char buffer[512];
            while (waitReadable(master, ended ? 0 : 100)) {
                const ssize_t got = read(master, buffer, sizeof buffer);
                if (got <= 0)
                    break;
                dialog.transcript.append(buffer, static_cast<std::size_t>(got));
            }
            if (!typed && dialog.transcript.find("Password:") != std::string::npos) {
                const std::string line = password + "\n";
                typed = write(master, line.data(), line.size()) == static_cast<ssize_t>(line.size());
            }
            if (ended) {
                dialog.result = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                break;
            }
        }
        if (dialog.result < 0) {
            pid_t stuck = wizard;
            stop(&stuck);
        }
        stop(&agent);
        close(master);
        return dialog;
    }

    void layHome()
    {
        writeFile(m_home + "/Documents/Nordaxis/run1.txt", "r");
        writeFile(m_home + "/Library/Preferences/com.nordaxis.tallowmere.plist", "<plist/>");
        giveTo(m_home, m_user.pw_uid, m_user.pw_gid);
    }

    TempDir m_root;
    std::string m_installed = m_root / "installed/TallowmereUninstallWizard.app";
    std::string m_built = m_root / "build/TallowmereUninstallWizard.app";
    std::string m_home = m_root / "home";
    std::string m_runtime = m_root / "run";
    passwd m_user {};
    pid_t m_bus = -1, m_polkitd = -1;
    bool m_madeBusFolder = false, m_installedPolicy = false, m_createdUser = false;
};

} // namespace

TEST_F(RealPolkit, DialogDecidesTheRun)
{
    const std::string ownAction = "Authentication is required to uninstall Tallowmere 5.4.1\r\n";
    const std::string byPath
        = "Authentication is needed to run `" + m_built + "/Contents/MacOS/main' as the super user\r\n";
    const std::tuple<const char*, std::string, std::string, int, std::string, const char*> cases[] = {
        { "installed, wrong password", m_installed, "wrong", 0, ownAction, "AUTHENTICATION FAILED" },
        { "build folder, wrong password", m_built, "wrong", 0, byPath, "AUTHENTICATION FAILED" },
        { "installed, right password", m_installed, kPassword, 2, ownAction, "AUTHENTICATION COMPLETE" },
    };
    for (const auto& [what, bundle, password, expected, message, outcome] : cases) {
        layHome();
        const Dialog dialog = runDialog(bundle, password);
        EXPECT_EQ(dialog.result, expected) << what << "\n" << dialog.transcript;
        EXPECT_NE(dialog.transcript.find(message + "Authenticating as: " + kUser + "\r\nPassword:"), std::string::npos)
            << what << "\n"
            << dialog.transcript;
        EXPECT_NE(dialog.transcript.find(outcome), std::string::npos) << what;
        EXPECT_EQ(entryExists(m_home + "/Documents/Nordaxis"), expected != 2) << what;
    }
}
