#include "TallowmereRunning_linux.h"
#include "TallowmereRunning.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "PosixFiles.h"

namespace {

// The process id that a proc entry's name gives, if it is one.
std::optional<pid_t> processIdOf(const char* name)
{
    if (*name == '\0' || std::strlen(name) > 9)
        return std::nullopt;
    for (const char* c = name; *c; ++c) {
        if (*c < '0' || *c > '9')
            return std::nullopt;
    }
    return static_cast<pid_t>(std::strtol(name, nullptr, 10));
}

bool namesExistingFile(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

} // namespace

std::vector<ProcessEntry> readProcessTable(const std::string& procRoot)
{
    std::vector<ProcessEntry> table;
    std::unique_ptr<DIR, int (*)(DIR*)> folder(opendir(procRoot.c_str()), closedir);
    if (!folder)
        return table;
    while (const dirent* entry = readdir(folder.get())) {
        const auto pid = processIdOf(entry->d_name);
        if (!pid)
            continue;
        const std::string processFolder = procRoot + "/" + entry->d_name;
        const auto status = readWholeFile(processFolder + "/status");
        if (!status)
            continue; // gone since the listing
        ProcessEntry process;
        process.pid = *pid;
        process.realUid = realUidFromStatus(*status);
        process.state = stateFromStatus(*status);
        // No link text: a kernel thread or a process being torn down has no
        // executable, another user's is not ours to read.
        const std::string linkText = readLink(processFolder + "/exe").value_or(std::string());
        if (!linkText.empty())
            process.executable = executableFromLinkText(linkText, namesExistingFile(linkText));
        table.push_back(std::move(process));
    }
    return table;
}

std::vector<pid_t> runningProcessesOfBundle(const std::string& identifier)
{
    return countedProcesses(readProcessTable("/proc"), getuid(), identifier);
}

bool checkIfTallowmereIsRunning()
{
    return !runningProcessesOfBundle(kTallowmereBundleIdentifier).empty();
}
