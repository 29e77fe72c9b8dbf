#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "RemovalLists.h"
#include "RemovalResult.h"

// A home folder that the user paths can safely be joined onto: absolute and
// not the root folder, which would turn them into machine-wide paths.
bool isUsableHome(const std::string& home);

// Where the entries of a removal list are reached from. An entry under `home`
// is reached from the home folder, any other from `machineRoot`, which stands
// for "/" (a test gives a folder of its own, the tool always "/").
struct RemovalRoots {
    std::string machineRoot = "/";
    std::string home;
};

// An entry of the list that stayed, and why.
struct EntryFailure {
    std::string path;
    RemovalResult why;
};

// Removes every entry of the list that exists (a final symbolic link followed
// for the test, removed as a link), going on past failures. True when nothing
// failed; each entry that failed is added to `failures` when given.
bool removeAll(const RemovalList& list, const RemovalRoots& roots = {}, std::vector<EntryFailure>* failures = nullptr);

// What a run gives: the verdict, the user that the result file's folder may
// belong to besides root (the owner of the home folder), and why entries
// stayed. The tool only writes the verdict.
struct RemovalOutcome {
    bool ok = false;
    uid_t homeOwner = 0;
    std::vector<EntryFailure> failures;
};

// The removal for a choice mask: builds the list and removes it. Nothing is
// removed when the home folder is unusable.
RemovalOutcome runRemoval(int choiceMask, const std::string& home, const std::string& machineRoot);

// The whole tool: main <mask> <home> <result-file>. Returns the exit status.
// `outcome`, when given, receives what the run did.
int runRemovalTool(int argc, const char* const* argv, RemovalOutcome* outcome = nullptr);
