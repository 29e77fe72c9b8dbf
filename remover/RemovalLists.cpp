#include "RemovalLists.h"

#include <dirent.h>

#include <cstring>
#include <string_view>

#include "PathWalk.h"

namespace remover {

namespace {

const char kMakerPrefix[] = "com.nordaxis.";
const char kPreferences[] = "Library/Preferences";

RemovalEntry machineWide(std::string path)
{
    return RemovalEntry { RemovalEntry::MachineWide, std::move(path) };
}

RemovalEntry underHome(std::string path)
{
    return RemovalEntry { RemovalEntry::UnderHome, std::move(path) };
}

RemovalEntries coreEntries()
{
    return {
        machineWide("Applications/Tallowmere 5.4.1"),
        machineWide("Library/Application Support/Nordaxis/Tallowmere/Templates/rCRS.QMX"),
    };
}

RemovalEntries userSettingsEntries(const std::vector<std::string>& preferenceNames)
{
    const std::string preferences = std::string(kPreferences) + "/";
    RemovalEntries entries;
    for (const std::string& name : preferenceNames) {
        if (name.compare(0, std::strlen(kMakerPrefix), kMakerPrefix) == 0)
            entries.push_back(underHome(preferences + name));
    }
    entries.push_back(underHome(preferences + "Tallowmere Prefs.plist"));
    entries.push_back(underHome(preferences + "Tallowmere Prefs"));
    entries.push_back(underHome(preferences + "ReportPreview.plist"));
    entries.push_back(underHome("Library/Application Support/Nordaxis"));
    entries.push_back(machineWide("Library/Application Support/Nordaxis/Tallowmere/Templates"));
    return entries;
}

RemovalEntries externalDataHomeEntries()
{
    return { underHome("Documents/Nordaxis") };
}

void append(RemovalEntries& list, const RemovalEntries& more)
{
    list.insert(list.end(), more.begin(), more.end());
}

RemovalList pathsOf(const RemovalEntries& entries, const std::string& home)
{
    RemovalList paths;
    for (const RemovalEntry& entry : entries)
        paths.push_back(pathOf(entry, home));
    return paths;
}

std::vector<std::string> namesIn(OpenedFolder opened)
{
    std::vector<std::string> names;
    if (opened.lookup != Lookup::Found)
        return names;
    DIR* dir = fdopendir(opened.folder.get());
    if (!dir)
        return names;
    opened.folder.release();
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    closedir(dir);
    return names;
}

} // namespace

RemovalEntries removalEntries(int choiceMask, const std::vector<std::string>& preferenceNames)
{
    RemovalEntries list = coreEntries();
    if (choiceMask & UserSettingsChoiceBit)
        append(list, userSettingsEntries(preferenceNames));
    if (choiceMask & ExternalDataHomeChoiceBit)
        append(list, externalDataHomeEntries());
    return list;
}

std::vector<std::string> preferenceNamesBeneath(int homeFd)
{
    return namesIn(openFolderBeneath(homeFd, kPreferences, rulesUnderHome(homeFd)));
}

std::string pathOf(const RemovalEntry& entry, const std::string& home)
{
    return (entry.base == RemovalEntry::UnderHome ? home : std::string()) + "/" + entry.path;
}

RemovalList deleteCoreFiles()
{
    return pathsOf(coreEntries(), std::string());
}

RemovalList deleteUserSettingsFiles(const std::string& home)
{
    // Reached like the entries themselves: a link on the way that the removal
    // would not follow does not get its folder listed either.
    const std::vector<std::string> names = namesIn(openFolderFromRoot(home + "/" + kPreferences));
    return pathsOf(userSettingsEntries(names), home);
}

RemovalList deleteExternalDataHomeFiles(const std::string& home)
{
    return pathsOf(externalDataHomeEntries(), home);
}

} // namespace remover
