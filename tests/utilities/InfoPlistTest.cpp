#include <gtest/gtest.h>
#include <sys/stat.h>

#include "InfoPlist.h"
#include "TestSupport.h"

using NDUtilities::infoPlistString;
using namespace testsupport;

namespace {

std::string plistWith(const std::string& dictBody)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n" +
           dictBody + "</dict>\n</plist>\n";
}

}  // namespace

TEST(InfoPlist, ReadsTheBundlesOwnInfoPlist)
{
    EXPECT_EQ(infoPlistString(TW_BUILT_INFO_PLIST, "CFBundleIdentifier"),
              std::optional<std::string>("com.nordaxis.TallowmereUninstallWizard"));
    EXPECT_EQ(infoPlistString(TW_BUILT_INFO_PLIST, "CFBundleExecutable"),
              std::optional<std::string>("TallowmereUninstallWizard"));
}

TEST(InfoPlist, ReadsTopLevelStringsOnly)
{
    TempDir tmp;
    writeFile(tmp / "Info.plist",
              plistWith("  <!-- <key>CFBundleIdentifier</key><string>commented</string> -->\n"
                        "  <key>Nested</key>\n  <dict><key>Inner</key><string>inner</string></dict>\n"
                        "  <key>Decoy</key>\n  <string>Name</string>\n"
                        "  <key>Name</key>\n  <string> Prüfung &amp; Ω </string>\n"
                        "  <key>Empty</key>\n  <string/>\n"));
    EXPECT_EQ(infoPlistString(tmp / "Info.plist", "Name"), std::optional<std::string>(" Prüfung & Ω "));
    EXPECT_EQ(infoPlistString(tmp / "Info.plist", "Empty"), std::optional<std::string>(""));
    EXPECT_EQ(infoPlistString(tmp / "Info.plist", "Inner"), std::nullopt);
    EXPECT_EQ(infoPlistString(tmp / "Info.plist", "CFBundleIdentifier"), std::nullopt);
}

TEST(InfoPlist, AKeyWithoutAStringHasNoValue)
{
    TempDir tmp;
    writeFile(tmp / "Info.plist",
              plistWith("  <key>Flag</key>\n  <true/>\n  <key>Count</key>\n  <integer>3</integer>\n"
                        "  <key>Last</key>\n"));
    EXPECT_EQ(infoPlistString(tmp / "Info.plist", "Flag"), std::nullopt);
    EXPECT_EQ(infoPlistString(tmp / "Info.plist", "Count"), std::nullopt);
    EXPECT_EQ(infoPlistString(tmp / "Info.plist", "Last"), std::nullopt);
}

TEST(InfoPlist, MissingOrUnreadableFilesHaveNoValues)
{
    TempDir tmp;
    EXPECT_EQ(infoPlistString(tmp / "missing.plist", "CFBundleIdentifier"), std::nullopt);
    writeFile(tmp / "broken.plist", "<plist><dict><key>CFBundleIdentifier</key><string>x</string></dict>");
    EXPECT_EQ(infoPlistString(tmp / "broken.plist", "CFBundleIdentifier"), std::nullopt);
    writeFile(tmp / "array.plist", "<plist><array><string>CFBundleIdentifier</string></array></plist>");
    EXPECT_EQ(infoPlistString(tmp / "array.plist", "CFBundleIdentifier"), std::nullopt);
    writeFile(tmp / "empty.plist", "");
    EXPECT_EQ(infoPlistString(tmp / "empty.plist", "CFBundleIdentifier"), std::nullopt);
    EXPECT_EQ(infoPlistString(tmp.path(), "CFBundleIdentifier"), std::nullopt) << "a folder is no plist";
    ASSERT_EQ(mkfifo((tmp / "pipe.plist").c_str(), 0600), 0);
    EXPECT_EQ(infoPlistString(tmp / "pipe.plist", "CFBundleIdentifier"), std::nullopt) << "must not wait for a writer";
}
