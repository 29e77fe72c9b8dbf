#pragma once

#include <string>
#include <vector>

#include "ChoiceBits.h"

namespace remover {

// What the removal tool deletes, written once: each entry is reached either
// from the user's home folder or from the machine's root folder, by a path
// relative to it. The tool opens the home folder once and reaches every entry
// of the user's from that descriptor; the home's text is never joined back
// onto a path.
struct RemovalEntry {
    enum Base {
        UnderHome,
        MachineWide,
    };
    Base base;
    std::string path; // relative to its base, without a leading separator
};
using RemovalEntries = std::vector<RemovalEntry>;

// The whole list for a choice mask: the core entries, then the user settings
// (the maker's names among `preferenceNames`, the names of the preferences
// folder in listing order, then the fixed ones), then the external data home.
RemovalEntries removalEntries(int choiceMask, const std::vector<std::string>& preferenceNames);

// The preferences folder's names beneath the home folder open as `homeFd`,
// in listing order, reached by the rules of the walk under a home as the
// entries are; empty when it is missing or cannot be read.
std::vector<std::string> preferenceNamesBeneath(int homeFd);

// An entry as a path: "/" + path machine-wide, home + "/" + path under the
// home, joined as text with nothing normalised.
std::string pathOf(const RemovalEntry& entry, const std::string& home);

// The same lists as ordered path strings, as the product has always named
// them.
using RemovalList = std::vector<std::string>;

// The product's own files, removed whatever the user chose.
RemovalList deleteCoreFiles();

// The user's settings under the given home folder. Lists the preferences
// folder once, now, for the entries that carry the maker's prefix.
RemovalList deleteUserSettingsFiles(const std::string& home);

// The user's external data folder under the given home folder.
RemovalList deleteExternalDataHomeFiles(const std::string& home);

} // namespace remover
