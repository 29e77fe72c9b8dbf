#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

// Which processes count as a running copy of the product. The platform half
// only gathers the facts about each process; the decision is made here, so
// that it can be tried on made-up process tables.
// What the platform told about one process. Facts it could not learn stay
// empty: such a process is never counted.
struct ProcessEntry {
    pid_t pid = 0;
    std::optional<uid_t> realUid;
    char state = '?'; // one-letter scheduler state, e.g. 'S', 'R', 'Z'
    std::string executable; // absolute path of the running executable
};

// From the text of a process status file ("Uid:" and "State:" lines).
std::optional<uid_t> realUidFromStatus(const std::string& statusText);
char stateFromStatus(const std::string& statusText);

// The path an executable link names. The kernel marks an executable whose
// file has been unlinked since it started with " (deleted)"; the mark is
// dropped only when the text as it stands names no file, so that a file that
// really carries that name is kept as it is.
std::string executableFromLinkText(const std::string& linkText, bool linkTextNamesExistingFile);

// True for an executable directly inside "X.app/Contents/MacOS/" whose
// bundle's Contents/Info.plist gives `identifier` as CFBundleIdentifier.
bool isExecutableOfBundle(const std::string& executable, const std::string& identifier);

// The rule: a process of `user` that has not ended (neither zombie nor dead)
// and runs an executable of the bundle.
bool processCounts(const ProcessEntry& process, uid_t user, const std::string& identifier);

// The processes among `table` that count, in table order.
std::vector<pid_t> countedProcesses(const std::vector<ProcessEntry>& table, uid_t user, const std::string& identifier);
