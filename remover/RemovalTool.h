#pragma once

#include <string>

#include "RemovalLists.h"

// A home folder that the user paths can safely be joined onto: absolute and
// not the root folder, which would turn them into machine-wide paths.
bool isUsableHome(const std::string& home);

// Removes every entry of the list that exists (symbolic links followed for the
// test), going on past failures. True when nothing failed.
bool removeAll(const RemovalList& list);

// The whole tool: main <mask> <home> <result-file>. Returns the exit status.
int runRemovalTool(int argc, const char* const* argv);
