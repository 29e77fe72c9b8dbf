#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "RemovalLists.h"
#include "TestSupport.h"

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
    for (const std::string& name : folderEntryNames(p)) {
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

TEST(RemovalLists, MaskSelectsListsInOrder)
{
    TempDir home;
    writeFile(home / "Library/Preferences/com.nordaxis.a");
    const RemovalList settings = deleteUserSettingsFiles(home.path());
    const RemovalList data = deleteExternalDataHomeFiles(home.path());

    EXPECT_EQ(buildRemovalList(0, home.path()), kCore);
    EXPECT_EQ(buildRemovalList(8, home.path()), kCore);
    EXPECT_EQ(buildRemovalList(1, home.path()), kCore);
    EXPECT_EQ(buildRemovalList(2, home.path()), concat({ kCore, settings }));
    EXPECT_EQ(buildRemovalList(4, home.path()), concat({ kCore, data }));
    EXPECT_EQ(buildRemovalList(6, home.path()), concat({ kCore, settings, data }));
    EXPECT_EQ(buildRemovalList(-1, home.path()), concat({ kCore, settings, data }));
    EXPECT_EQ(settings.front(), home / "Library/Preferences/com.nordaxis.a");
}

} // namespace remover
