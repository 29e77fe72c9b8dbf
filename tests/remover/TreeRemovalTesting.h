#pragma once
// Shared by the tree removal tests.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "TreeRemoval.h"

namespace treeremovaltesting {

inline const int kChildSkips = 77; // a child that cannot set up what it needs says so

// Removes the entry at a path through removeEntryAt; the folder that holds it
// is opened by path, which only a test folder may be.
inline bool removeItem(const std::string& path)
{
    const std::filesystem::path entry = std::filesystem::path(path).lexically_normal();
    const std::filesystem::path name = entry.has_filename() ? entry.filename() : entry.parent_path().filename();
    const std::filesystem::path parent = entry.has_filename() ? entry.parent_path() : entry.parent_path().parent_path();
    const int parentFd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0)
        return false;
    const bool removed = removeEntryAt(parentFd, name.string());
    close(parentFd);
    return removed;
}

// Runs `body` in a forked child and gives its exit status. A child ended by a
// signal fails the test: a crash must never pass for a skip.
inline int runInChild(const std::function<int()>& body, const std::function<void(pid_t)>& whileRunning = {})
{
    const pid_t pid = fork();
    if (pid == 0) {
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
        ADD_FAILURE() << "child ended by signal " << WTERMSIG(status);
        return -1;
    }
    return WEXITSTATUS(status);
}

inline bool lowerOpenFileLimit(rlim_t soft)
{
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return false;
    limit.rlim_cur = soft;
    return setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

inline std::string chain(const std::string& top, int depth)
{
    std::string path = top;
    for (int i = 0; i < depth; ++i)
        path += "/d";
    return path;
}

} // namespace treeremovaltesting
