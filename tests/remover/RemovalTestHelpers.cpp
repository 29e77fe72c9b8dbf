#include "RemovalTestHelpers.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

namespace remover {

namespace removaltest {

RemovalResult removePath(const std::string& path, const RemovalSettings& settings)
{
    const std::filesystem::path entry = std::filesystem::path(path).lexically_normal();
    const std::filesystem::path name = entry.has_filename() ? entry.filename() : entry.parent_path().filename();
    const std::filesystem::path parent = entry.has_filename() ? entry.parent_path() : entry.parent_path().parent_path();
    const int parentFd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0)
        return removalFailure(RemovalStep::LookUp, errno);
    RemovalResult result = removeEntryAt(parentFd, name.string(), settings);
    close(parentFd);
    return result;
}

int runInChild(const std::function<int()>& body, const std::function<void(pid_t)>& whileRunning, unsigned seconds)
{
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(seconds);
        int code = 98;
        try {
            code = body();
        } catch (...) {
        }
        _exit(code);
    }
    if (whileRunning)
        whileRunning(pid);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status)) {
        ADD_FAILURE() << "child ended by signal " << WTERMSIG(status)
                      << (WTERMSIG(status) == SIGALRM ? " (it ran too long)" : "");
        return -1;
    }
    return WEXITSTATUS(status);
}

bool lowerOpenFileLimit(rlim_t soft)
{
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return false;
    limit.rlim_cur = soft;
    return setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

std::string chain(const std::string& top, int depth)
{
    std::string path = top;
    for (int i = 0; i < depth; ++i)
        path += "/d";
    return path;
}

} // namespace removaltest

} // namespace remover
