#pragma once

#include <sys/types.h>

#include <string>

#include "RemovalLists.h"

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

// Removes every entry of the list that exists (a final symbolic link followed
// for the test, removed as a link), going on past failures. True when nothing
// failed.
bool removeAll(const RemovalList& list, const RemovalRoots& roots = {});

// What a run gives: the verdict, and the user that the result file's folder
// may belong to besides root (the owner of the home folder).
struct RemovalOutcome {
    bool ok = false;
    uid_t homeOwner = 0;
};

// The removal for a choice mask: builds the list and removes it. Nothing is
// removed when the home folder is unusable.
RemovalOutcome runRemoval(int choiceMask, const std::string& home, const std::string& machineRoot);

// The whole tool: main <mask> <home> <result-file>. Returns the exit status.
int runRemovalTool(int argc, const char* const* argv);
