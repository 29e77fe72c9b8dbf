#include "TestSupport.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace testsupport {

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "tallowmere-test-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = buffer.data();
}

TempDir::~TempDir()
{
    std::error_code ignored;
    // Tests may leave read-only folders behind; open them so that cleanup works.
    for (auto it = fs::recursive_directory_iterator(m_path, fs::directory_options::skip_permission_denied, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (!it->is_symlink(ignored))
            chmod(it->path().c_str(), 0700);
    }
    fs::remove_all(m_path, ignored);
}

void makeFolders(const std::string& path)
{
    fs::create_directories(path);
}

void writeFile(const std::string& path, const std::string& contents)
{
    const fs::path parent = fs::path(path).parent_path();
    if (!parent.empty())
        fs::create_directories(parent);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::runtime_error("cannot write " + path);
    out << contents;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void makeSymlink(const std::string& target, const std::string& linkPath)
{
    if (symlink(target.c_str(), linkPath.c_str()) != 0)
        throw std::runtime_error("symlink failed: " + linkPath);
}

bool entryExists(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

bool isSymlink(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

std::optional<std::string> existingMachineWideFolder()
{
    for (const char* folder : { "/Applications/Tallowmere 5.4.1", "/Library/Application Support/Nordaxis" }) {
        if (entryExists(folder))
            return folder;
    }
    return std::nullopt;
}

void openUpPermissions(const std::string& path)
{
    chmod(path.c_str(), 0755);
}

void giveTo(const std::string& path, uid_t uid, gid_t gid)
{
    if (lchown(path.c_str(), uid, gid) != 0)
        throw std::runtime_error("lchown failed: " + path);
    if (!fs::is_directory(fs::symlink_status(path)))
        return;
    for (const auto& entry : fs::recursive_directory_iterator(path)) {
        if (lchown(entry.path().c_str(), uid, gid) != 0)
            throw std::runtime_error("lchown failed: " + entry.path().string());
    }
}

namespace {

bool dropPrivileges(uid_t uid, gid_t gid)
{
    return setgroups(0, nullptr) == 0 && setgid(gid) == 0 && setuid(uid) == 0;
}

void readBoth(int outFd, int errFd, std::string& out, std::string& err)
{
    pollfd fds[2] = { { outFd, POLLIN, 0 }, { errFd, POLLIN, 0 } };
    int open = 2;
    char buffer[4096];
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? out : err).append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

// A pipe whose ends the started program does not inherit (Darwin has no
// pipe2, so the flag is set afterwards).
bool openPipe(int fds[2])
{
    if (pipe(fds) != 0)
        return false;
    for (int i = 0; i < 2; ++i)
        if (fcntl(fds[i], F_SETFD, FD_CLOEXEC) != 0)
            return false;
    return true;
}

} // namespace

ProcessResult runProgram(const std::vector<std::string>& argv, const ProcessOptions& options)
{
    int outPipe[2], errPipe[2];
    if (!openPipe(outPipe) || !openPipe(errPipe))
        throw std::runtime_error("pipe failed");

    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::vector<char*> env;
    if (options.environment) {
        for (const std::string& var : *options.environment)
            env.push_back(const_cast<char*>(var.c_str()));
        env.push_back(nullptr);
    }

    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        const int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, STDIN_FILENO);
        if (options.workingFolder && chdir(options.workingFolder->c_str()) != 0)
            _exit(126);
        if (options.uid && !dropPrivileges(*options.uid, options.gid.value_or(*options.uid)))
            _exit(126);
        if (options.environment)
            execve(args[0], args.data(), env.data());
        else
            execv(args[0], args.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    ProcessResult result;
    readBoth(outPipe[0], errPipe[0], result.out, result.err);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    if (WIFEXITED(status))
        result.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    return result;
}

std::optional<OrdinaryUser> ordinaryUser()
{
    const passwd* entry = getpwnam("nobody");
    if (!entry || entry->pw_uid == 0)
        return std::nullopt;
    return OrdinaryUser { entry->pw_uid, entry->pw_gid };
}

const int kChildKilledBase = 128;

std::optional<int> runInChildAsOrdinaryUser(const std::function<int()>& body, std::string* whyNot)
{
    std::optional<OrdinaryUser> user;
    if (geteuid() == 0) {
        user = ordinaryUser();
        if (!user) {
            if (whyNot)
                *whyNot = "running as root and there is no ordinary account 'nobody' to drop to";
            return std::nullopt;
        }
    }
    const pid_t pid = fork();
    if (pid < 0) {
        if (whyNot)
            *whyNot = "fork failed";
        return std::nullopt;
    }
    if (pid == 0) {
        if (user && !dropPrivileges(user->uid, user->gid))
            _exit(125);
        _exit(body());
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    // Only the child itself may say that it could not run; a crash is a
    // result, and one that no test expects.
    if (WIFSIGNALED(status))
        return kChildKilledBase + WTERMSIG(status);
    if (WEXITSTATUS(status) == 125) {
        if (whyNot)
            *whyNot = "could not switch to the ordinary account";
        return std::nullopt;
    }
    return WEXITSTATUS(status);
}

} // namespace testsupport
