#include "Paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "Bundle.h"

// This platform has no folder search of its own; the folders are named as
// macOS lays them out, relative to the user's home folder or to the root.

namespace NDUtilities {

namespace fs = boost::filesystem;

namespace {

fs::path passwordDatabaseHome()
{
    std::vector<char> buffer(16384);
    passwd entry;
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir)
        return fs::path();
    return fs::path(found->pw_dir);
}

const char* userFolderOf(unsigned int directoryKind)
{
    switch (directoryKind) {
    case ApplicationSupportDirectoryKind:
        return "Library/Application Support";
    case DocumentDirectoryKind:
        return "Documents";
    case DesktopDirectoryKind:
        return "Desktop";
    case ApplicationDirectoryKind:
        return "Applications";
    default:
        return nullptr;
    }
}

const char* localFolderOf(unsigned int directoryKind)
{
    switch (directoryKind) {
    case ApplicationSupportDirectoryKind:
        return "/Library/Application Support";
    case ApplicationDirectoryKind:
        return "/Applications";
    default:
        return nullptr;
    }
}

fs::path folderIn(unsigned int domain, unsigned int directoryKind)
{
    if (domain == UserDomainMask) {
        const char* folder = userFolderOf(directoryKind);
        const fs::path home = Paths::homePath();
        return folder && !home.empty() ? home / folder : fs::path();
    }
    if (domain == LocalDomainMask) {
        const char* folder = localFolderOf(directoryKind);
        return folder ? fs::path(folder) : fs::path();
    }
    // Network and system domains hold none of the folders asked for here.
    return fs::path();
}

} // namespace

fs::path Paths::applicationPath()
{
    return pathFromUtf8(Bundle::mainBundle().executablePath());
}

fs::path Paths::applicationBundlePath()
{
    return pathFromUtf8(Bundle::mainBundle().rootPath()).parent_path();
}

fs::path Paths::pluginsPath()
{
    return pathFromUtf8(Bundle::mainBundle().pluginsPath());
}

fs::path Paths::resourcePath()
{
    return pathFromUtf8(Bundle::mainBundle().resourcePath());
}

// The domains are searched in the platform's order: user, local, network,
// system; the first that has the folder answers.
fs::path stockFolder(unsigned int directoryKind, unsigned int domainMask)
{
    for (unsigned int domain : { UserDomainMask, LocalDomainMask, NetworkDomainMask, SystemDomainMask }) {
        if (!(domainMask & domain))
            continue;
        const fs::path folder = folderIn(domain, directoryKind);
        if (!folder.empty())
            return folder;
    }
    return fs::path();
}

// $HOME when it names an absolute folder, else the user's account entry.
fs::path Paths::homePath()
{
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return fs::path(home);
    return passwordDatabaseHome();
}

} // namespace NDUtilities
