#include "RemovalLists.h"

#include <dirent.h>

#include <cstring>
#include <string_view>

#include "PathWalk.h"

namespace remover {

namespace {

const char kMakerPrefix[] = "com.nordaxis.";
const char kPreferences[] = "/Library/Preferences";

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

RemovalList withChoices(int choiceMask, const std::string& home, const std::vector<std::string>& preferenceNames)
{
    RemovalList list = deleteCoreFiles();
    if (choiceMask & UserSettingsChoiceBit) {
        const RemovalList settings = deleteUserSettingsFiles(home, preferenceNames);
        list.insert(list.end(), settings.begin(), settings.end());
    }
    if (choiceMask & ExternalDataHomeChoiceBit) {
        const RemovalList data = deleteExternalDataHomeFiles(home);
        list.insert(list.end(), data.begin(), data.end());
    }
    return list;
}

} // namespace

// Reached like the entries themselves: a link on the way that the removal
// would not follow does not get its folder listed either.
std::vector<std::string> folderEntryNames(const std::string& folder)
{
    return namesIn(openFolderFromRoot(folder));
}

std::vector<std::string> folderEntryNamesBeneath(int startFd, const std::string& relativeFolder)
{
    return namesIn(openFolderBeneath(startFd, relativeFolder, rulesUnderHome(startFd)));
}

RemovalList deleteCoreFiles()
{
    return {
        "/Applications/Tallowmere 5.4.1",
        "/Library/Application Support/Nordaxis/Tallowmere/Templates/rCRS.QMX",
    };
}

RemovalList deleteUserSettingsFiles(const std::string& home)
{
    return deleteUserSettingsFiles(home, folderEntryNames(home + kPreferences));
}

RemovalList deleteUserSettingsFiles(const std::string& home, const std::vector<std::string>& preferenceNames)
{
    const std::string preferences = home + kPreferences;
    RemovalList list;
    for (const std::string& name : preferenceNames) {
        if (name.compare(0, std::strlen(kMakerPrefix), kMakerPrefix) == 0)
            list.push_back(preferences + "/" + name);
    }
    list.push_back(preferences + "/Tallowmere Prefs.plist");
    list.push_back(preferences + "/Tallowmere Prefs");
    list.push_back(preferences + "/ReportPreview.plist");
    list.push_back(home + "/Library/Application Support/Nordaxis");
    list.push_back("/Library/Application Support/Nordaxis/Tallowmere/Templates");
    return list;
}

RemovalList deleteExternalDataHomeFiles(const std::string& home)
{
    return { home + "/Documents/Nordaxis" };
}

RemovalList buildRemovalList(int choiceMask, const std::string& home)
{
    const bool listed = choiceMask & UserSettingsChoiceBit;
    return withChoices(choiceMask, home, listed ? folderEntryNames(home + kPreferences) : std::vector<std::string>());
}

RemovalList buildRemovalList(int choiceMask, const std::string& home, int homeFd)
{
    const bool listed = (choiceMask & UserSettingsChoiceBit) && homeFd >= 0;
    return withChoices(
        choiceMask, home, listed ? folderEntryNamesBeneath(homeFd, kPreferences + 1) : std::vector<std::string>());
}

} // namespace remover
