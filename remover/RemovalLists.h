#pragma once

#include <string>
#include <vector>

#include "ChoiceBits.h"

namespace remover {

// Ordered lists of paths that the removal tool deletes. Entries are plain
// strings, joined by text: nothing is normalised, sorted or de-duplicated.
using RemovalList = std::vector<std::string>;

// The product's own files, removed whatever the user chose.
RemovalList deleteCoreFiles();

// The user's settings under the given home folder. Lists the preferences
// folder once, now, for the entries that carry the maker's prefix.
RemovalList deleteUserSettingsFiles(const std::string& home);

// The user's external data folder under the given home folder.
RemovalList deleteExternalDataHomeFiles(const std::string& home);

// The same with the preferences folder's names already listed.
RemovalList deleteUserSettingsFiles(const std::string& home, const std::vector<std::string>& preferenceNames);

// The whole list for a choice mask: the core files, then the lists that the
// mask selects.
RemovalList buildRemovalList(int choiceMask, const std::string& home);

// The same, with the preferences folder listed beneath the home folder open
// as `homeFd`, the one the removal works from; -1 when there is no home
// folder, and so nothing to list.
RemovalList buildRemovalList(int choiceMask, const std::string& home, int homeFd);

// Names of a folder's entries, in the order the file system lists them; empty
// when the folder is missing or cannot be read. The absolute path is walked
// from "/" without following links the removal would not follow.
std::vector<std::string> folderEntryNames(const std::string& folder);

// The same for a folder at a relative path beneath the home folder open as
// `startFd`, reached by the rules of the walk under a home.
std::vector<std::string> folderEntryNamesBeneath(int startFd, const std::string& relativeFolder);

} // namespace remover
