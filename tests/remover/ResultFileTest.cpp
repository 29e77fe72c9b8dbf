#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "ResultFile.h"
#include "TestSupport.h"

namespace remover {

using namespace testsupport;

namespace {

int entriesIn(const std::string& folder)
{
    return static_cast<int>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

} // namespace

TEST(ResultFile, HoldsExactlyTheWordAndReplacesAnOldFile)
{
    TempDir tmp;
    writeFile(tmp / "r.log", "an older and much longer verdict\n");
    EXPECT_TRUE(writeResultFile(tmp / "r.log", "success", geteuid()));
    EXPECT_EQ(readFile(tmp / "r.log"), "success");
    EXPECT_TRUE(writeResultFile(tmp / "r.log", "failed", geteuid()));
    EXPECT_EQ(readFile(tmp / "r.log"), "failed");

    struct stat info;
    ASSERT_EQ(stat((tmp / "r.log").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u) << "the waiting user must be able to read it";
    EXPECT_EQ(entriesIn(tmp.path()), 1) << "no temporary file may be left behind";
}

TEST(ResultFile, NeverWritesThroughALinkAtThePath)
{
    TempDir tmp;
    writeFile(tmp / "precious", "precious");
    makeSymlink(tmp / "precious", tmp / "via-symlink.log");
    ASSERT_EQ(link((tmp / "precious").c_str(), (tmp / "via-hardlink.log").c_str()), 0);

    EXPECT_TRUE(writeResultFile(tmp / "via-symlink.log", "success", geteuid()));
    EXPECT_TRUE(writeResultFile(tmp / "via-hardlink.log", "failed", geteuid()));

    EXPECT_EQ(readFile(tmp / "precious"), "precious");
    EXPECT_FALSE(isSymlink(tmp / "via-symlink.log"));
    EXPECT_EQ(readFile(tmp / "via-symlink.log"), "success");
    EXPECT_EQ(readFile(tmp / "via-hardlink.log"), "failed");
}

TEST(ResultFile, MissingFolderWritesNothing)
{
    TempDir tmp;
    EXPECT_FALSE(writeResultFile(tmp / "no-such-folder/r.log", "success", geteuid()));
    EXPECT_FALSE(entryExists(tmp / "no-such-folder"));
    EXPECT_FALSE(writeResultFile(tmp / "", "success", geteuid()));
    EXPECT_EQ(entriesIn(tmp.path()), 0);
}

} // namespace remover
