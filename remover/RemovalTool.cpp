#include "RemovalTool.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "ChoiceMask.h"
#include "PathWalk.h"
#include "ResultFile.h"
#include "TreeRemoval.h"

namespace {

const int kUsageExitStatus = 64; // EX_USAGE

// True when the path, read without the file system, names "/" itself:
// "/", "//", "/.", "/tmp/.." and the like.
bool namesRootLexically(const std::string& path)
{
    return std::filesystem::path(path).lexically_normal() == "/";
}

bool isRootFolder(int folderFd)
{
    struct stat folder, root;
    return fstat(folderFd, &folder) == 0 && stat("/", &root) == 0 && folder.st_dev == root.st_dev
        && folder.st_ino == root.st_ino;
}

// The existence test of the run: a final symbolic link is followed, and one
// that leads nowhere counts as absent. Any other error is no absence.
Lookup lookUpEntry(int folderFd, const std::string& name)
{
    struct stat info;
    if (fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Lookup::Absent : Lookup::Failed;
    if (!S_ISLNK(info.st_mode) || fstatat(folderFd, name.c_str(), &info, 0) == 0)
        return Lookup::Found;
    return errno == ENOENT || errno == ENOTDIR ? Lookup::Absent : Lookup::Failed;
}

// A look-up that found nothing to remove, or why it failed.
RemovalResult notFound(Lookup lookup)
{
    return lookup == Lookup::Absent ? RemovalResult {} : removalFailure(RemovalStep::LookUp, 0);
}

// Removes the entry at `relative` beneath the start folder. Ok when it is
// gone or was never there.
RemovalResult removeEntryBeneath(const OpenedFolder& start, std::string relative)
{
    if (start.lookup != Lookup::Found)
        return notFound(start.lookup);
    while (!relative.empty() && relative.back() == '/')
        relative.pop_back();
    const auto slash = relative.find_last_of('/');
    const std::string name = slash == std::string::npos ? relative : relative.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return removalFailure(RemovalStep::NotAName, EINVAL);

    const OpenedFolder parent
        = openFolderBeneath(start.folder.get(), slash == std::string::npos ? std::string() : relative.substr(0, slash));
    if (parent.lookup != Lookup::Found)
        return notFound(parent.lookup);
    switch (lookUpEntry(parent.folder.get(), name)) {
    case Lookup::Absent:
        return {};
    case Lookup::Failed:
        return removalFailure(RemovalStep::LookUp, errno);
    case Lookup::Found:
        break;
    }
    return removeEntryAt(parent.folder.get(), name);
}

} // namespace

bool isUsableHome(const std::string& home)
{
    if (home.empty() || home.front() != '/' || namesRootLexically(home))
        return false;
    const OpenedFolder folder = openFolderFromRoot(home);
    return folder.lookup != Lookup::Found || !isRootFolder(folder.folder.get());
}

bool removeAll(const RemovalList& list, const RemovalRoots& roots, std::vector<EntryFailure>* failures)
{
    // Each start is opened once; every entry is then reached from it, one
    // component at a time.
    const OpenedFolder machine = openFolderFromRoot(roots.machineRoot);
    const OpenedFolder home = roots.home.empty() ? OpenedFolder {} : openFolderFromRoot(roots.home);
    const std::string homePrefix = roots.home + "/";

    bool ok = true;
    for (const std::string& path : list) {
        RemovalResult result;
        if (!roots.home.empty() && path.compare(0, homePrefix.size(), homePrefix) == 0)
            result = removeEntryBeneath(home, path.substr(homePrefix.size()));
        else if (!path.empty() && path.front() == '/')
            result = removeEntryBeneath(machine, path);
        else
            result = removalFailure(RemovalStep::LookUp, EINVAL); // a relative entry has no trusted start
        if (!result.ok()) {
            ok = false;
            if (failures)
                failures->push_back(EntryFailure { path, std::move(result) });
        }
    }
    return ok;
}

RemovalOutcome runRemoval(int choiceMask, const std::string& home, const std::string& machineRoot)
{
    RemovalOutcome outcome;
    if (!isUsableHome(home))
        return outcome;
    {
        // Closed again before the removal, which has a use for every descriptor.
        const OpenedFolder homeFolder = openFolderFromRoot(home);
        struct stat info;
        if (homeFolder.lookup == Lookup::Found && fstat(homeFolder.folder.get(), &info) == 0)
            outcome.homeOwner = info.st_uid;
    }
    outcome.ok = removeAll(buildRemovalList(choiceMask, home), RemovalRoots { machineRoot, home }, &outcome.failures);
    return outcome;
}

int runRemovalTool(int argc, const char* const* argv, RemovalOutcome* given)
{
    if (argc < 4) {
        std::fprintf(
            stderr, "usage: %s <choice-mask> <home-folder> <result-file>\n", argc > 0 && argv[0] ? argv[0] : "main");
        return kUsageExitStatus;
    }
    const int mask = parseChoiceMask(argv[1]);
    const std::string home = argv[2];
    const std::string resultPath = argv[3];

    RemovalOutcome local;
    RemovalOutcome& outcome = given ? *given : local;
    try {
        outcome = runRemoval(mask, home, "/");
    } catch (...) {
        outcome.ok = false; // out of memory: report, never crash without a verdict
    }
    writeResultFile(resultPath, outcome.ok ? "success" : "failed", outcome.homeOwner);
    return 0;
}
