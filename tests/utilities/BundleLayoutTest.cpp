#include <gtest/gtest.h>

#include "BundleLayout.h"

using NDUtilities::bundleRootForExecutable;
using NDUtilities::infoPlistPathOfBundle;

TEST(BundleLayout, AnExecutableInContentsMacOSBelongsToTheAppFolder)
{
    EXPECT_EQ(bundleRootForExecutable("X.app/Contents/MacOS/exe"), "X.app");
    EXPECT_EQ(bundleRootForExecutable("/Applications/X.app/Contents/MacOS/exe"), "/Applications/X.app");
    EXPECT_EQ(bundleRootForExecutable("/a.app/Contents/MacOS/exe"), "/a.app");
    EXPECT_EQ(bundleRootForExecutable("/T/Prüfung Ω.app/Contents/MacOS/exe"), "/T/Prüfung Ω.app");
}

TEST(BundleLayout, ABareExecutableIsItsOwnFoldersBundle)
{
    EXPECT_EQ(bundleRootForExecutable("/opt/tool/exe"), "/opt/tool");
    EXPECT_EQ(bundleRootForExecutable("/X.app/Contents/MacOS/sub/exe"), "/X.app/Contents/MacOS/sub");
    EXPECT_EQ(bundleRootForExecutable("/X.app/Contents/exe"), "/X.app/Contents");
    EXPECT_EQ(bundleRootForExecutable("/Contents/MacOS/exe"), "/Contents/MacOS");
    EXPECT_EQ(bundleRootForExecutable("/X.app/exe"), "/X.app");
}

TEST(BundleLayout, AnAppFolderNeedsANameBeforeItsExtension)
{
    EXPECT_EQ(bundleRootForExecutable(".app/Contents/MacOS/exe"), ".app/Contents/MacOS");
    EXPECT_EQ(bundleRootForExecutable("/.app/Contents/MacOS/exe"), "/.app/Contents/MacOS");
    EXPECT_EQ(bundleRootForExecutable("/A/.app/Contents/MacOS/exe"), "/A/.app/Contents/MacOS");
}

TEST(BundleLayout, EdgesAtTheRootAndWithoutAFolder)
{
    EXPECT_EQ(bundleRootForExecutable("/exe"), "/");
    EXPECT_EQ(bundleRootForExecutable("exe"), "");
    EXPECT_EQ(bundleRootForExecutable(""), "");
    EXPECT_EQ(bundleRootForExecutable("/"), "/");
}

TEST(BundleLayout, InfoPlistLiesInContents)
{
    EXPECT_EQ(infoPlistPathOfBundle("/Applications/X.app"), "/Applications/X.app/Contents/Info.plist");
    EXPECT_EQ(infoPlistPathOfBundle("X.app"), "X.app/Contents/Info.plist");
    EXPECT_EQ(infoPlistPathOfBundle("/"), "/Contents/Info.plist");
}
