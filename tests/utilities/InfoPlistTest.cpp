#include <gtest/gtest.h>
#include <sys/stat.h>

#include "InfoPlist.h"
#include "TestSupport.h"

using NDUtilities::infoPlistString;
using namespace testsupport;

TEST(InfoPlist, ReadsTheBundlesOwnInfoPlist)
{
    EXPECT_EQ(infoPlistString(TW_BUILT_INFO_PLIST, "CFBundleIdentifier").value_or("-"),
        "com.nordaxis.TallowmereUninstallWizard");
}

TEST(InfoPlist, ReadsTopLevelStringsOnly)
{
    TempDir tmp;
    writeFile(tmp / "Info.plist",
        "<?xml version=\"1.0\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"x.dtd\">\n"
        "<plist version=\"1.0\"><dict>\n"
        "<!-- <key>Commented</key><string>c</string> -->\n"
        "<key>Nested</key><dict><key>Inner</key><string>inner</string></dict>\n"
        "<key>Decoy</key><string>Name</string>\n"
        "<key>Name</key><string> Prüfung &amp; Ω </string>\n"
        "<key>Empty</key><string/>\n"
        "<key>Flag</key><true/>\n"
        "<key>Last</key>\n"
        "</dict></plist>\n");
    auto read = [&](const std::string& key) { return infoPlistString(tmp / "Info.plist", key).value_or("-"); };
    EXPECT_EQ(read("Name"), " Prüfung & Ω ");
    EXPECT_EQ(read("Empty"), "");
    EXPECT_EQ(read("Inner"), "-");
    EXPECT_EQ(read("Commented"), "-");
    EXPECT_EQ(read("Flag"), "-") << "a key without a string has no value";
    EXPECT_EQ(read("Last"), "-");
}

TEST(InfoPlist, MissingOrUnreadableFilesHaveNoValues)
{
    TempDir tmp;
    writeFile(tmp / "broken.plist", "<plist><dict><key>K</key><string>x</string></dict>");
    writeFile(tmp / "array.plist", "<plist><array><string>K</string></array></plist>");
    writeFile(tmp / "empty.plist", "");
    ASSERT_EQ(mkfifo((tmp / "pipe.plist").c_str(), 0600), 0);
    for (const std::string name : { "missing.plist", "broken.plist", "array.plist", "empty.plist", "pipe.plist", "" })
        EXPECT_EQ(infoPlistString(tmp / name, "K"), std::nullopt) << name;
}
