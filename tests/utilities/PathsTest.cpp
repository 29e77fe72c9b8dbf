#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include "Paths.h"
#include "ScopedEnvironment.h"

using namespace NDUtilities;
namespace bfs = boost::filesystem;

TEST(StockFolder, AnswersAsMacOSLaysOutItsFolders)
{
    ScopedEnvironment home("HOME", "/Users/u");
    EXPECT_EQ(stockFolder(ApplicationSupportDirectoryKind, UserDomainMask), "/Users/u/Library/Application Support");
    EXPECT_EQ(stockFolder(ApplicationDirectoryKind, UserDomainMask), "/Users/u/Applications");
    EXPECT_EQ(stockFolder(ApplicationSupportDirectoryKind, LocalDomainMask), "/Library/Application Support");
    EXPECT_EQ(stockFolder(ApplicationDirectoryKind, LocalDomainMask), "/Applications");
    // A combined mask answers with its first domain that has the folder.
    EXPECT_EQ(stockFolder(ApplicationDirectoryKind, 0xffffu), "/Users/u/Applications");
    EXPECT_EQ(stockFolder(ApplicationSupportDirectoryKind, LocalDomainMask | NetworkDomainMask),
        "/Library/Application Support");
    EXPECT_EQ(stockFolder(DocumentDirectoryKind, LocalDomainMask | SystemDomainMask), bfs::path());
    EXPECT_EQ(stockFolder(ApplicationDirectoryKind, 0), bfs::path());
    EXPECT_EQ(stockFolder(99, UserDomainMask | LocalDomainMask), bfs::path());
}

TEST(PlatformFolders, NamedFolders)
{
    ScopedEnvironment home("HOME", "/home/Ünï");
    EXPECT_EQ(Paths::appSupportPath(), "/Library/Application Support");
    EXPECT_EQ(Paths::userAppSupportPath(), "/home/Ünï/Library/Application Support");
    EXPECT_EQ(Paths::userDocumentsPath(), "/home/Ünï/Documents");
    EXPECT_EQ(Paths::desktopPath(), "/home/Ünï/Desktop");
    EXPECT_EQ(Paths::commonDesktopPath(), "/home/Ünï/Desktop");
    for (const bfs::path& relative : { bfs::path(""), bfs::path("Suite/Y.app") }) {
        EXPECT_EQ(Paths::systemApplicationsPath(relative), bfs::path("/Applications") / relative);
        EXPECT_EQ(Paths::nordaxisApplicationsPath(relative), bfs::path("/Applications") / relative);
    }
}

TEST(PlatformFolders, HomeIsAnAbsoluteHomeVariableElseTheAccount)
{
    {
        ScopedEnvironment home("HOME", "/nowhere/Ω home");
        EXPECT_EQ(Paths::homePath().string(), "/nowhere/Ω home");
    }
    const passwd* account = getpwuid(geteuid());
    ASSERT_NE(account, nullptr);
    for (const auto& value : { std::optional<std::string>("relative/home"), std::optional<std::string>("") }) {
        ScopedEnvironment home("HOME", value);
        EXPECT_EQ(Paths::homePath().string(), account->pw_dir) << *value;
    }
    ScopedEnvironment unset("HOME", std::nullopt);
    EXPECT_EQ(Paths::homePath().string(), account->pw_dir);
}

TEST(PlatformFolders, FixedPathsNamesAndTexts)
{
    EXPECT_EQ(Paths::posixUsrBinPath("perl").string(), "/usr/bin/perl");
    EXPECT_EQ(Paths::posixUsrLocalBinPath().string(), "/usr/local/bin");
    EXPECT_EQ(Paths::posixUsrLocalPath().string(), "/usr/local");
    EXPECT_TRUE(Paths::posixSystemPath().empty());
    EXPECT_FALSE(Paths::isExeInTallowmereExternalToolsDir("a/b", "perl"));

    const std::string text = "/Prüfung/\xCE\xA9 \xE6\xB5\x8B";
    EXPECT_EQ(Paths::pathFromUtf8(text).string(), text);
    EXPECT_EQ(Paths::pathFromUtf8(text.c_str()).string(), text);
    EXPECT_TRUE(Paths::pathFromUtf8(static_cast<const char*>(nullptr)).empty());
}

TEST(FileNames, SlashesAndColonsBecomeUnderscores)
{
    EXPECT_EQ(replaceIllegalFilesystemChars("a/b:c"), "a_b_c");
    EXPECT_EQ(replaceIllegalFilesystemChars("a\\b c"), "a\\b c");
    EXPECT_EQ(replaceIllegalFilesystemChars(""), "");
    EXPECT_EQ(replaceIllegalFilesystemChars("Ä/é:Ω"), "Ä_é_Ω");
    EXPECT_EQ(replaceIllegalFilesystemWideChars(L"a/b:c\\"), L"a_b_c\\");
    EXPECT_EQ(replaceIllegalFilesystemWideChars(L""), L"");
    EXPECT_EQ(replaceIllegalFilesystemWideChars(L"\u00C4/\u03A9:\u6D4B"), L"\u00C4_\u03A9_\u6D4B");
}
