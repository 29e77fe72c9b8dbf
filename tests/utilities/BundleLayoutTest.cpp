#include <gtest/gtest.h>

#include "BundleLayout.h"

using NDUtilities::bundleRootForExecutable;

TEST(BundleLayout, AnExecutableInContentsMacOSBelongsToTheAppFolder)
{
    EXPECT_EQ(bundleRootForExecutable("X.app/Contents/MacOS/exe"), "X.app");
    EXPECT_EQ(bundleRootForExecutable("/Applications/X.app/Contents/MacOS/exe"), "/Applications/X.app");
    EXPECT_EQ(bundleRootForExecutable("/T/Prüfung Ω.app/Contents/MacOS/exe"), "/T/Prüfung Ω.app");
    EXPECT_EQ(bundleRootForExecutable("/a.app/Contents/MacOS/exe"), "/a.app");
}

TEST(BundleLayout, OtherwiseTheExecutablesOwnFolder)
{
    EXPECT_EQ(bundleRootForExecutable("/opt/tool/exe"), "/opt/tool");
    EXPECT_EQ(bundleRootForExecutable("/X.app/Contents/MacOS/sub/exe"), "/X.app/Contents/MacOS/sub");
    EXPECT_EQ(bundleRootForExecutable("/X.app/Contents/exe"), "/X.app/Contents");
    // ".app" needs a name before its extension.
    EXPECT_EQ(bundleRootForExecutable(".app/Contents/MacOS/exe"), ".app/Contents/MacOS");
    EXPECT_EQ(bundleRootForExecutable("/A/.app/Contents/MacOS/exe"), "/A/.app/Contents/MacOS");
    EXPECT_EQ(bundleRootForExecutable("/.app/Contents/MacOS/exe"), "/.app/Contents/MacOS");
    EXPECT_EQ(bundleRootForExecutable("/exe"), "/");
    EXPECT_EQ(bundleRootForExecutable("/"), "/");
    EXPECT_EQ(bundleRootForExecutable("exe"), "");
}

TEST(BundleLayout, InfoPlistLiesInContents)
{
    EXPECT_EQ(NDUtilities::infoPlistPathOfBundle("/A/X.app"), "/A/X.app/Contents/Info.plist");
    EXPECT_EQ(NDUtilities::infoPlistPathOfBundle("/"), "/Contents/Info.plist");
}
