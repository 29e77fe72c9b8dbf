#include "FakeProduct.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace testsupport {

namespace {

// Long enough for any test, short enough that a stray copy goes away.
const char* const kCopyLifetimeSeconds = "600";

std::string smallLongRunningProgram()
{
    for (const char* candidate : { "/bin/sleep", "/usr/bin/sleep" }) {
        if (access(candidate, X_OK) == 0)
            return candidate;
    }
    throw std::runtime_error("FakeProduct: no sleep program to copy");
}

std::string infoPlist(const std::string& identifier)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n"
           "\t<key>CFBundleExecutable</key>\n\t<string>Tallowmere</string>\n"
           "\t<key>CFBundleIdentifier</key>\n\t<string>"
        + identifier
        + "</string>\n"
          "\t<key>CFBundlePackageType</key>\n\t<string>APPL</string>\n"
          "</dict>\n</plist>\n";
}

// One lock per machine, shared by all FakeProducts of one test process: flock
// locks belong to an open file, so a second open in the same process would
// wait for itself.
std::mutex productLockMutex;
int productLockUsers = 0;
int productLockFd = -1;

void takeProductLock()
{
    std::lock_guard<std::mutex> guard(productLockMutex);
    if (productLockUsers++ > 0)
        return;
    const std::string path = (fs::temp_directory_path() / "tallowmere-fake-product.lock").string();
    productLockFd = open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    if (productLockFd < 0) {
        --productLockUsers;
        throw std::runtime_error("FakeProduct: cannot open " + path + ": " + std::strerror(errno));
    }
    while (flock(productLockFd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            close(productLockFd);
            --productLockUsers;
            throw std::runtime_error("FakeProduct: cannot lock " + path);
        }
    }
}

void releaseProductLock()
{
    std::lock_guard<std::mutex> guard(productLockMutex);
    if (--productLockUsers > 0)
        return;
    close(productLockFd); // releases the flock
    productLockFd = -1;
}

std::string linkTarget(const std::string& link)
{
    char buffer[4096];
    const ssize_t length = readlink(link.c_str(), buffer, sizeof buffer);
    return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}

void reap(pid_t pid)
{
    int status = 0;
    // ECHILD: someone else has reaped it already; it is gone either way.
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
}

} // namespace

FakeProduct::FakeProduct()
    : FakeProduct(FakeProductLayout())
{
}

FakeProduct::FakeProduct(const FakeProductLayout& layout)
{
    if (layout.bundleIdentifier == kTallowmereBundleIdentifier) {
        takeProductLock();
        m_holdsProductLock = true;
    }
    try {
        // Other users may look into the bundle too (tests of other users' copies).
        openUpPermissions(m_folder.path());
        const fs::path root = fs::canonical(m_folder.path());
        m_bundlePath = root.string() + "/" + layout.bundleName;
        m_executablePath = m_bundlePath + "/" + layout.executableInBundle;
        writeFile(m_bundlePath + "/Contents/Info.plist", infoPlist(layout.bundleIdentifier));
        fs::create_directories(fs::path(m_executablePath).parent_path());
        fs::copy_file(smallLongRunningProgram(), m_executablePath);
        fs::permissions(m_executablePath, fs::perms(0755));
        for (fs::path folder = fs::path(m_executablePath).parent_path(); folder != root; folder = folder.parent_path())
            fs::permissions(folder, fs::perms(0755));
    } catch (...) {
        if (m_holdsProductLock)
            releaseProductLock();
        throw;
    }
}

FakeProduct::~FakeProduct()
{
    quitAll();
    if (m_holdsProductLock)
        releaseProductLock();
}

pid_t FakeProduct::start()
{
    return startCopy(false, 0, 0);
}

void FakeProduct::start(int copies)
{
    for (int i = 0; i < copies; ++i)
        start();
}

pid_t FakeProduct::startAs(uid_t uid, gid_t gid)
{
    return startCopy(true, uid, gid);
}

pid_t FakeProduct::startCopy(bool asOtherUser, uid_t uid, gid_t gid)
{
    // Everything the child needs is made before fork: after it, only calls
    // that are safe in a child of a threaded process.
    const std::string programName = fs::path(m_executablePath).filename().string();
    char* const argv[] = { const_cast<char*>(programName.c_str()), const_cast<char*>(kCopyLifetimeSeconds), nullptr };
    int errorPipe[2];
    if (pipe2(errorPipe, O_CLOEXEC) != 0)
        throw std::runtime_error("FakeProduct: pipe failed");
    const pid_t parent = getpid();

    const pid_t pid = fork();
    if (pid < 0) {
        close(errorPipe[0]);
        close(errorPipe[1]);
        throw std::runtime_error("FakeProduct: fork failed");
    }
    if (pid == 0) {
        close(errorPipe[0]);
        const int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, STDIN_FILENO);
        dup2(devNull, STDOUT_FILENO);
        bool ready = !asOtherUser || (setgroups(0, nullptr) == 0 && setgid(gid) == 0 && setuid(uid) == 0);
        // After the change of user: that change clears the death signal.
        ready = ready && prctl(PR_SET_PDEATHSIG, SIGKILL) == 0;
        if (ready && getppid() != parent)
            _exit(0); // the test is already gone
        if (ready)
            execv(m_executablePath.c_str(), argv);
        const int failure = errno;
        (void)!write(errorPipe[1], &failure, sizeof failure);
        _exit(127);
    }

    close(errorPipe[1]);
    // The pipe closes without a word when exec succeeds.
    int failure = 0;
    ssize_t got;
    while ((got = read(errorPipe[0], &failure, sizeof failure)) < 0 && errno == EINTR) { }
    close(errorPipe[0]);
    if (got > 0) {
        reap(pid);
        throw std::runtime_error("FakeProduct: cannot start " + m_executablePath + ": " + std::strerror(failure));
    }
    m_pids.push_back(pid);

    // Exec has replaced the executable by now; make sure the process table
    // says so before anyone asks.
    const std::string exeLink = "/proc/" + std::to_string(pid) + "/exe";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (linkTarget(exeLink) != m_executablePath) {
        if (std::chrono::steady_clock::now() > deadline) {
            quit(pid);
            throw std::runtime_error("FakeProduct: copy " + std::to_string(pid) + " did not show its executable");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return pid;
}

void FakeProduct::quit(pid_t pid)
{
    const auto found = std::find(m_pids.begin(), m_pids.end(), pid);
    if (found == m_pids.end())
        return;
    m_pids.erase(found);
    kill(pid, SIGKILL);
    reap(pid);
}

void FakeProduct::quitAll()
{
    while (!m_pids.empty())
        quit(m_pids.back());
}

} // namespace testsupport
