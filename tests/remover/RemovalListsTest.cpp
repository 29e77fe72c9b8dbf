#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "RemovalLists.h"
#include "TestSupport.h"
#include "UniqueFd.h"

namespace remover {

using testsupport::TempDir;
using testsupport::writeFile;

namespace {

const RemovalList kCore = {
    "/Applications/Tallowmere 5.4.1",
    "/Library/Application Support/Nordaxis/Tallowmere/Templates/rCRS.QMX",
};

RemovalList fixedSettingsEntries(const std::string& home)
{
    const std::string p = home + "/Library/Preferences";
    return {
        p + "/Tallowmere Prefs.plist",
        p + "/Tallowmere Prefs",
        p + "/ReportPreview.plist",
        home + "/Library/Application Support/Nordaxis",
        "/Library/Application Support/Nordaxis/Tallowmere/Templates",
    };
}

// A folder's names in the order the file system lists them.
std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

RemovalList concat(std::initializer_list<RemovalList> parts)
{
    RemovalList all;
    for (const RemovalList& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

} // namespace

TEST(RemovalLists, CoreAndExternalDataHomeAreFixedPaths)
{
    EXPECT_EQ(deleteCoreFiles(), kCore);
    EXPECT_EQ(deleteExternalDataHomeFiles("/Users/anna"), RemovalList { "/Users/anna/Documents/Nordaxis" });
    // Plain joining: the home is taken as it comes.
    EXPECT_EQ(deleteExternalDataHomeFiles("/Users/anna/"), RemovalList { "/Users/anna//Documents/Nordaxis" });
}

TEST(RemovalLists, UserSettingsKeepOnlyTheExactPrefixInListingOrder)
{
    TempDir home;
    const std::string p = home / "Library/Preferences";
    const char* names[] = { "com.nordaxis.tallowmere.plist", "com.Nordaxis.other.plist", "com.nordaxis",
        "com.nordaxisX.plist", "com.nordaxis.folder", "org.example.plist", "xcom.nordaxis.plist", "com.nordaxis." };
    for (const char* name : names)
        writeFile(p + "/" + name);
    mkdir((p + "/com.nordaxis.folder.d").c_str(), 0755);

    RemovalList expected;
    for (const std::string& name : namesIn(p)) {
        if (name.rfind("com.nordaxis.", 0) == 0)
            expected.push_back(p + "/" + name);
    }
    ASSERT_EQ(expected.size(), 4u); // .tallowmere.plist, .folder, ".", .folder.d
    const RemovalList fixed = fixedSettingsEntries(home.path());
    expected.insert(expected.end(), fixed.begin(), fixed.end());
    EXPECT_EQ(deleteUserSettingsFiles(home.path()), expected);
}

TEST(RemovalLists, MissingPreferencesFolderGivesTheFixedEntries)
{
    TempDir home;
    EXPECT_EQ(deleteUserSettingsFiles(home.path()), fixedSettingsEntries(home.path()));
    writeFile(home / "Library/Preferences"); // a file where the folder belongs
    EXPECT_EQ(deleteUserSettingsFiles(home.path()), fixedSettingsEntries(home.path()));
}

TEST(RemovalLists, UnreadablePreferencesFolderGivesTheFixedEntries)
{
    TempDir home;
    testsupport::openUpPermissions(home.path());
    writeFile(home / "Library/Preferences/com.nordaxis.hidden.plist");
    chmod((home / "Library").c_str(), 0755);
    chmod((home / "Library/Preferences").c_str(), 0);

    const std::string path = home.path();
    std::string whyNot;
    const auto status = testsupport::runInChildAsOrdinaryUser(
        [&] { return deleteUserSettingsFiles(path) == fixedSettingsEntries(path) ? 0 : 1; }, &whyNot);
    if (!status)
        GTEST_SKIP() << "needs an ordinary user: " << whyNot;
    EXPECT_EQ(*status, 0);
}

// The tool's one tagged list gives the same paths as the product's list
// builders, and lists the preferences beneath the open home as they do.
TEST(RemovalLists, MaskSelectsListsInOrder)
{
    TempDir home;
    writeFile(home / "Library/Preferences/com.nordaxis.a");
    const RemovalList settings = deleteUserSettingsFiles(home.path());
    const RemovalList data = deleteExternalDataHomeFiles(home.path());
    const UniqueFd homeFd(open(home.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const std::vector<std::string> names = preferenceNamesBeneath(homeFd.get());
    EXPECT_EQ(names, namesIn(home / "Library/Preferences"));

    const struct {
        int mask;
        RemovalList expected;
    } cases[] = {
        { 0, kCore },
        { 8, kCore },
        { 1, kCore },
        { 2, concat({ kCore, settings }) },
        { 4, concat({ kCore, data }) },
        { 6, concat({ kCore, settings, data }) },
        { -1, concat({ kCore, settings, data }) },
    };
    for (const auto& c : cases) {
        RemovalList paths;
        for (const RemovalEntry& entry : removalEntries(c.mask, names))
            paths.push_back(pathOf(entry, home.path()));
        EXPECT_EQ(paths, c.expected) << c.mask;
    }
    EXPECT_EQ(settings.front(), home / "Library/Preferences/com.nordaxis.a");
}

} // namespace remover
