#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "RemovalLists.h"
#include "RemovalResult.h"

namespace remover {

// A home folder text that the user paths can safely be joined onto: absolute,
// without a ".." component (which would leave the folder it names to links of
// the user's), and not the root folder, which would turn the user paths into
// machine-wide ones. Where it leads is checked once it is open.
bool isUsableHome(const std::string& home);

// An entry of the list that stayed, and why.
struct EntryFailure {
    RemovalEntry entry;
    RemovalResult why;
};

// Who started the tool. Root, or the service manager, starts it with arguments
// of its own choosing, which are trusted. pkexec starts it for whichever user
// asked, with arguments of that user's choosing.
struct ToolCaller {
    bool throughPkexec = false;
    uid_t user = 0; // the user pkexec ran the tool for
    std::string accountHome; // that user's home in the account database; empty when unknown
};

// The caller as pkexec names it in PKEXEC_UID (null when the variable is not
// set). A value that is no user id names a user that cannot exist.
ToolCaller callerFromPkexec(const char* pkexecUid);

// What a run gives: the verdict, the user that the result file's folder may
// belong to besides root (the owner of the home folder), why entries stayed,
// what ended the run early, and whether the verdict reached its file. The
// tool only writes the verdict.
struct RemovalOutcome {
    bool ok = false;
    uid_t homeOwner = 0;
    std::vector<EntryFailure> failures;
    RemovalResult stoppedBy; // an exception that ended the run before its last entry
    bool verdictWritten = false;
};

// The removal for a choice mask: builds the list and removes it. The home
// folder is opened once; its check, its owner, the preferences listing and
// every user entry come from that one descriptor. Nothing is removed when the
// home folder is unusable, or, for a caller through pkexec, when it is not
// the caller's home from the account database.
RemovalOutcome runRemoval(
    int choiceMask, const std::string& home, const std::string& machineRoot, const ToolCaller& caller = {});

// The whole tool: main <mask> <home> <result-file>. Returns the exit status,
// 0 whenever the arguments are there, whether or not the verdict could be
// written: the tool prints nothing then either, since no one reads its output
// (the service manager sends it nowhere) and the wizard's wait already ends
// without a verdict as a failure. `outcome`, when given, receives what the
// run did, the verdict's fate included.
int runRemovalTool(int argc, const char* const* argv, const ToolCaller& caller = {}, RemovalOutcome* outcome = nullptr);

} // namespace remover
