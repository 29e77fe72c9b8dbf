#include "UntrustedMounts.h"

#include <atomic>
#include <mutex>

namespace remover {

namespace {

std::mutex g_mutex;
std::vector<ProgramServedMount> g_mounts; // guarded by g_mutex
std::atomic<bool> g_any { false }; // the one check made on every folder

} // namespace

std::string lastComponent(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isProgramServedFileSystem(const std::string& type)
{
    // "fuse", "fuseblk" and "fuse.<daemon>" on Linux; "macfuse", "osxfuse"
    // and the like on macOS.
    return type.find("fuse") != std::string::npos;
}

void learnUntrustedMounts()
{
    std::vector<ProgramServedMount> mounts;
    if (!readProgramServedMounts(mounts))
        mounts.clear();
    std::lock_guard<std::mutex> lock(g_mutex);
    g_mounts = std::move(mounts);
    g_any = !g_mounts.empty();
}

bool anyUntrustedMounts()
{
    return g_any.load(std::memory_order_relaxed);
}

bool isUntrustedMountPoint(int folderFd, const std::string& name)
{
    if (!anyUntrustedMounts() || name == "." || name == "..")
        return false;
    std::lock_guard<std::mutex> lock(g_mutex);
    return !g_mounts.empty() && leadsIntoOneOf(folderFd, name, g_mounts);
}

} // namespace remover
