#include "UntrustedMounts.h"

#include <atomic>
#include <mutex>

namespace remover {

namespace {

std::mutex g_mutex;
std::vector<std::string> g_mountPoints; // guarded by g_mutex
std::atomic<bool> g_any { false }; // the one check made on every folder

std::string lastComponent(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string folderPart(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return std::string();
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

} // namespace

bool isProgramServedFileSystem(const std::string& type)
{
    // "fuse", "fuseblk" and "fuse.<daemon>" on Linux; "macfuse", "osxfuse"
    // and the like on macOS.
    return type.find("fuse") != std::string::npos;
}

void learnUntrustedMounts()
{
    std::vector<std::string> mountPoints;
    if (!readProgramServedMountPoints(mountPoints))
        mountPoints.clear();
    std::lock_guard<std::mutex> lock(g_mutex);
    g_mountPoints = std::move(mountPoints);
    g_any = !g_mountPoints.empty();
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
    std::string folder;
    bool folderKnown = false;
    for (const std::string& mountPoint : g_mountPoints) {
        if (lastComponent(mountPoint) != name)
            continue;
        if (!folderKnown) {
            folder = pathOfOpenFolder(folderFd);
            folderKnown = true;
        }
        if (folder.empty() || folderPart(mountPoint) == folder)
            return true;
    }
    return false;
}

} // namespace remover
