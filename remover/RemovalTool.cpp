#include "RemovalTool.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

#include "ChoiceMask.h"
#include "EntryRemoval.h"
#include "FolderCalls.h"
#include "PathWalk.h"
#include "PathWalkPlatform.h"
#include "ResultFile.h"
#include "ToolInterface.h"
#include "UntrustedMounts.h"

namespace remover {

namespace {

const int kUsageExitStatus = 64; // EX_USAGE
// No account has it: a caller that pkexec did not name properly.
const uid_t kNoUser = static_cast<uid_t>(-1);

// True when the path, read without the file system, names "/" itself:
// "/", "//", "/.", "/tmp/.." and the like.
bool namesRootLexically(const std::string& path)
{
    return std::filesystem::path(path).lexically_normal() == "/";
}

bool hasDotDotComponent(const std::string& path)
{
    for (const std::filesystem::path& part : std::filesystem::path(path))
        if (part == "..")
            return true;
    return false;
}

bool isRootFolder(int folderFd)
{
    const UniqueFd root = openMachineRoot();
    return root && isSameOpenFolder(folderFd, root.get());
}

// Where the kernel's look-up of a link's target stops at a mount (under a home
// on a mount of its own, every absolute target does, as it starts at "/"),
// the target is walked as a path on the way is: only into folders of the
// home's owner or root on the home's file system. What the walk finds missing
// counts as absent, as any link that leads nowhere; a target it may not reach
// is there, and the link alone is removed.
Lookup lookUpTargetByWalk(int folderFd, const std::string& name, const RemovalPolicy& policy)
{
    std::vector<char> buffer(4097);
    const ssize_t length = readlinkat(folderFd, name.c_str(), buffer.data(), buffer.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= buffer.size())
        return Lookup::Found;
    std::string target(buffer.data(), static_cast<std::size_t>(length));
    while (target.size() > 1 && target.back() == '/')
        target.pop_back();
    const auto slash = target.find_last_of('/');
    const std::string last = slash == std::string::npos ? target : target.substr(slash + 1);
    if (last.empty() || last == "." || last == "..")
        return Lookup::Found;
    const UniqueFd root = openMachineRoot();
    const int start = target.front() == '/' ? root.get() : folderFd;
    if (start < 0)
        return Lookup::Found;
    const OpenedFolder parent
        = openParentOfEntry(start, slash == std::string::npos ? std::string() : target.substr(0, slash), last, policy);
    if (parent.lookup != Lookup::Found)
        return parent.lookup == Lookup::Absent ? Lookup::Absent : Lookup::Found;
    if (isUntrustedMountPoint(parent.folder.get(), last))
        return Lookup::Found;
    struct stat info;
    const bool missing = fstatat(parent.folder.get(), last.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
    return missing ? Lookup::Absent : Lookup::Found;
}

// The existence test of the run: a final symbolic link is followed, and one
// that leads nowhere counts as absent. Any other error is no absence. Under
// the home the link is followed only on the home's file system, and walked
// from there where the kernel's look-up would leave it: one that leads off
// it is there, and is removed as a link. A mount point served by a program
// is not looked at: the removal refuses it.
Lookup lookUpEntry(int folderFd, const std::string& name, const RemovalPolicy& policy)
{
    if (isUntrustedMountPoint(folderFd, name))
        return Lookup::Found;
    struct stat info;
    if (fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Lookup::Absent : Lookup::Failed;
    if (!S_ISLNK(info.st_mode))
        return Lookup::Found;
    const int followed = policy.fileSystem ? lookUpTargetOnSameFileSystem(folderFd, name.c_str())
                                           : fstatat(folderFd, name.c_str(), &info, 0);
    if (followed != 0 && errno == EXDEV)
        return lookUpTargetByWalk(folderFd, name, policy);
    if (followed == 0)
        return Lookup::Found;
    return errno == ENOENT || errno == ENOTDIR ? Lookup::Absent : Lookup::Failed;
}

// A look-up that found nothing to remove, or why it failed.
RemovalResult notFound(const OpenedFolder& folder)
{
    return folder.lookup == Lookup::Absent ? RemovalResult {} : folder.why;
}

// Removes the entry at `relative` beneath the start folder. Ok when it is
// gone or was never there.
RemovalResult removeEntryBeneath(const OpenedFolder& start, const std::string& relative, const RemovalPolicy& policy)
{
    if (start.lookup != Lookup::Found)
        return notFound(start);
    const auto slash = relative.find_last_of('/');
    const std::string name = slash == std::string::npos ? relative : relative.substr(slash + 1);
    const OpenedFolder parent = openParentOfEntry(
        start.folder.get(), slash == std::string::npos ? std::string() : relative.substr(0, slash), name, policy);
    if (parent.lookup != Lookup::Found)
        return notFound(parent);
    switch (lookUpEntry(parent.folder.get(), name, policy)) {
    case Lookup::Absent:
        return {};
    case Lookup::Failed:
        return removalFailure(RemovalStep::LookUp, errno);
    case Lookup::Found:
        break;
    }
    RemovalSettings settings;
    settings.policy = policy;
    return removeEntryAt(parent.folder.get(), name, settings);
}

// The home folder, opened once. A home that does not exist leaves nothing of
// the user's to remove: it is no failure.
struct OpenHome {
    bool usable = false;
    OpenedFolder folder;
    std::optional<uid_t> owner; // known when the folder is open
};

OpenHome openHome(const std::string& home, const ToolCaller& caller)
{
    OpenHome result;
    if (!isUsableHome(home))
        return result;
    result.folder = openFolderFromRoot(home);
    if (caller.throughPkexec) {
        // Only the caller's own home, and it must be there: an argument that
        // names any other folder is refused.
        if (caller.accountHome.empty() || result.folder.lookup != Lookup::Found)
            return result;
        const OpenedFolder account = openFolderFromRoot(caller.accountHome);
        if (account.lookup != Lookup::Found || !isSameOpenFolder(account.folder.get(), result.folder.folder.get()))
            return result;
    }
    if (result.folder.lookup == Lookup::Found) {
        struct stat info;
        if (isRootFolder(result.folder.folder.get()) || fstat(result.folder.folder.get(), &info) != 0)
            return result;
        result.owner = info.st_uid;
    }
    result.usable = true;
    return result;
}

bool removeEntries(const RemovalEntries& entries, const std::string& machineRoot, const OpenedFolder& home,
    std::vector<EntryFailure>* failures)
{
    const OpenedFolder machine = openFolderFromRoot(machineRoot);
    const RemovalPolicy underHome = home.lookup == Lookup::Found ? rulesUnderHome(home.folder.get()) : RemovalPolicy();

    bool ok = true;
    for (const RemovalEntry& entry : entries) {
        // Mounts come and go while the tool runs: learn them afresh before
        // each entry.
        learnUntrustedMounts();
        RemovalResult result = entry.base == RemovalEntry::UnderHome
            ? removeEntryBeneath(home, entry.path, underHome)
            : removeEntryBeneath(machine, entry.path, RemovalPolicy());
        if (!result.ok()) {
            ok = false;
            failures->push_back(EntryFailure { entry, std::move(result) });
        }
    }
    return ok;
}

} // namespace

bool isUsableHome(const std::string& home)
{
    return !home.empty() && home.front() == '/' && !namesRootLexically(home) && !hasDotDotComponent(home);
}

ToolCaller callerFromPkexec(const char* pkexecUid)
{
    ToolCaller caller;
    if (!pkexecUid)
        return caller;
    caller.throughPkexec = true;
    caller.user = kNoUser;
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(pkexecUid, &end, 10);
    if (errno != 0 || end == pkexecUid || *end != '\0' || pkexecUid[0] < '0' || pkexecUid[0] > '9'
        || value >= static_cast<unsigned long>(kNoUser))
        return caller;
    caller.user = static_cast<uid_t>(value);
    std::vector<char> buffer(16384);
    struct passwd entry;
    struct passwd* found = nullptr;
    if (getpwuid_r(caller.user, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        caller.accountHome = found->pw_dir;
    return caller;
}

RemovalOutcome runRemoval(
    int choiceMask, const std::string& home, const std::string& machineRoot, const ToolCaller& caller)
{
    RemovalOutcome outcome;
    learnUntrustedMounts();
    const OpenHome opened = openHome(home, caller);
    if (!opened.usable)
        return outcome;
    outcome.homeOwner = opened.owner.value_or(0);
    const bool listPreferences = (choiceMask & UserSettingsChoiceBit) && opened.folder.lookup == Lookup::Found;
    const RemovalEntries entries = removalEntries(
        choiceMask, listPreferences ? preferenceNamesBeneath(opened.folder.folder.get()) : std::vector<std::string>());
    outcome.ok = removeEntries(entries, machineRoot, opened.folder, &outcome.failures);
    return outcome;
}

int runRemovalTool(int argc, const char* const* argv, const ToolCaller& caller, RemovalOutcome* given)
{
    if (argc < ToolArgumentCount) {
        std::fprintf(
            stderr, "usage: %s <choice-mask> <home-folder> <result-file>\n", argc > 0 && argv[0] ? argv[0] : "main");
        return kUsageExitStatus;
    }
    const int mask = parseChoiceMask(argv[ChoiceMaskArgument]);
    const std::string home = argv[HomeFolderArgument];
    const std::string resultPath = argv[ResultFileArgument];

    RemovalOutcome local;
    RemovalOutcome& outcome = given ? *given : local;
    try {
        outcome = runRemoval(mask, home, "/", caller);
    } catch (...) {
        // Never end without a verdict: whatever stopped the run fails it.
        outcome.ok = false;
        outcome.stoppedBy = failureOfCaughtException();
    }
    const char* word = outcome.ok ? kVerdictSuccess : kVerdictFailed;
    learnUntrustedMounts();
    outcome.verdictWritten = caller.throughPkexec ? writeResultFileForCaller(resultPath, word, caller.user)
                                                  : writeResultFile(resultPath, word, outcome.homeOwner);
    return 0;
}

} // namespace remover
