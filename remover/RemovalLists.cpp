#include "RemovalLists.h"

#include <dirent.h>

#include <cstring>
#include <string_view>

#include "PathWalk.h"

namespace {

const char kMakerPrefix[] = "com.nordaxis.";

} // namespace

std::vector<std::string> folderEntryNames(const std::string& folder)
{
    std::vector<std::string> names;
    // Reached like the entries themselves: a link on the way that the removal
    // would not follow does not get its folder listed either.
    OpenedFolder opened = openFolderFromRoot(folder);
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

RemovalList deleteCoreFiles()
{
    return {
        "/Applications/Tallowmere 5.4.1",
        "/Library/Application Support/Nordaxis/Tallowmere/Templates/rCRS.QMX",
    };
}

RemovalList deleteUserSettingsFiles(const std::string& home)
{
    const std::string preferences = home + "/Library/Preferences";
    RemovalList list;
    for (const std::string& name : folderEntryNames(preferences)) {
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
    RemovalList list = deleteCoreFiles();
    if (choiceMask & UserSettingsChoiceBit) {
        const RemovalList settings = deleteUserSettingsFiles(home);
        list.insert(list.end(), settings.begin(), settings.end());
    }
    if (choiceMask & ExternalDataHomeChoiceBit) {
        const RemovalList data = deleteExternalDataHomeFiles(home);
        list.insert(list.end(), data.begin(), data.end());
    }
    return list;
}
