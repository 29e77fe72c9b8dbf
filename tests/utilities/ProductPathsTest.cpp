#include <gtest/gtest.h>

#include <boost/filesystem/operations.hpp>
#include <stdexcept>

#include "AssertFailureReporter.h"
#include "Paths.h"
#include "ScopedEnvironment.h"
#include "TestSupport.h"

using NDUtilities::Paths;
using namespace testsupport;
namespace bfs = boost::filesystem;

namespace {

// Home and temporary folder of the test's own.
class ProductPaths : public ::testing::Test {
protected:
    ProductPaths()
        : m_home("HOME", tmp / "home")
        , m_tmpdir("TMPDIR", tmp / "t")
    {
        makeFolders(tmp / "t");
    }

    std::string userAppSupport() const { return tmp / "home/Library/Application Support"; }

    TempDir tmp;

private:
    ScopedEnvironment m_home;
    ScopedEnvironment m_tmpdir;
};

struct ReturningReporter : NDUtilities::AssertFailureReporter {
    void assertFailure(const char* message, const char*, int) override { messages.push_back(message); }
    std::vector<std::string> messages;
};

}  // namespace

TEST_F(ProductPaths, UserFoldersAreCreatedAndMayExistAlready)
{
    const bfs::path expected = userAppSupport() + "/Nordaxis/Tallowmere";
    EXPECT_EQ(Paths::tallowmereUserAppSupportPath(), expected);
    EXPECT_TRUE(bfs::is_directory(expected));
    EXPECT_EQ(Paths::tallowmereUserAppSupportPath(), expected);

    const bfs::path lattica = expected / "Lattica";
    EXPECT_EQ(Paths::latticaUserAppSupportPath(), lattica);
    EXPECT_TRUE(bfs::is_directory(lattica));
    EXPECT_NO_THROW(Paths::latticaUserAppSupportPath());
}

TEST_F(ProductPaths, LatticaFolderAloneCreatesAllThreeLevels)
{
    EXPECT_EQ(Paths::latticaUserAppSupportPath(), userAppSupport() + "/Nordaxis/Tallowmere/Lattica");
    EXPECT_TRUE(bfs::is_directory(userAppSupport() + "/Nordaxis/Tallowmere/Lattica"));
}

TEST_F(ProductPaths, MachineWideFolderIsNamedButNotCreated)
{
    const bool existedBefore = bfs::exists("/Library/Application Support/Nordaxis");
    EXPECT_EQ(Paths::tallowmereAppSupportPath(), "/Library/Application Support/Nordaxis/Tallowmere");
    EXPECT_EQ(bfs::exists("/Library/Application Support/Nordaxis"), existedBefore);
    EXPECT_FALSE(bfs::exists(tmp / "home"));
}

TEST_F(ProductPaths, TemporaryFolders)
{
    EXPECT_EQ(Paths::temporaryPath(), tmp / "t");
    EXPECT_EQ(Paths::testFilesPath(), tmp / "t/TalTests");
    EXPECT_TRUE(bfs::is_directory(tmp / "t/TalTests"));
    EXPECT_EQ(Paths::latticaTemporaryFilesPath(), tmp / "t/ND Lattica");
    EXPECT_TRUE(bfs::is_directory(tmp / "t/ND Lattica"));
    EXPECT_EQ(Paths::latticaTemporaryFilesPath(), tmp / "t/ND Lattica");
}

TEST_F(ProductPaths, FailuresToCreateOrFindAFolderPassThrough)
{
    writeFile(tmp / "home/Library", "a file in the way");
    EXPECT_THROW(Paths::tallowmereUserAppSupportPath(), bfs::filesystem_error);
    EXPECT_THROW(Paths::createDirectories(tmp / "home/Library/x"), bfs::filesystem_error);

    ScopedEnvironment missingTemporary("TMPDIR", tmp / "no such folder");
    EXPECT_THROW(Paths::testFilesPath(), bfs::filesystem_error);
}

TEST_F(ProductPaths, CreateDirectoriesReturnsItsArgument)
{
    const bfs::path path = tmp / "a/b c/Ω";
    EXPECT_EQ(Paths::createDirectories(path), path);
    EXPECT_TRUE(bfs::is_directory(path));
    EXPECT_EQ(Paths::createDirectories(path), path);
}

TEST(ToolLookup, NativeToolsLieBesideTheApplication)
{
    const bfs::path tools = Paths::applicationBundlePath().parent_path() / "Tallowmere External Tools";
    EXPECT_EQ(Paths::nativeToolPathDir(""), tools);
    EXPECT_EQ(Paths::nativeToolPathDir("a/b"), tools / "a/b");
    EXPECT_EQ(Paths::nativeToolPath("a/b", "t"), tools / "a/b/t");
    for (const bfs::path& subFolder : {bfs::path(""), bfs::path("a"), bfs::path("a/b"), bfs::path("a/b/c")}) {
        EXPECT_EQ(Paths::exe(true, subFolder, "t"), Paths::nativeToolPath(subFolder, "t"));
        EXPECT_EQ(Paths::exeOrPerl(true, subFolder, "t"), Paths::nativeToolPath(subFolder, "t"));
    }
}

TEST(ToolLookup, PosixToolsByDepthOfTheSubFolder)
{
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Paths::exe(false, "", "t"), "/usr/local/bin/t");
    EXPECT_EQ(Paths::exe(false, "a", "t"), "/usr/local/bin/t");
    EXPECT_EQ(Paths::exe(false, "a/b", "t"), "/usr/local/Nordaxis/a/b/t");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "up to two levels report nothing";

    for (const bfs::path& subFolder : {bfs::path(""), bfs::path("a/b/c/d")})
        EXPECT_EQ(Paths::exeOrPerl(false, subFolder, "t"), "/usr/bin/perl");
}

TEST(ToolLookup, ThreeLevelsFailTheCheckWithTheDefaultReporter)
{
    ::testing::internal::CaptureStderr();
    std::string thrown;
    try {
        Paths::exe(false, "a/b/c", "t");
    } catch (const std::runtime_error& error) {
        thrown = error.what();
    }
    const std::string written = ::testing::internal::GetCapturedStderr();

    const std::string start = "NDASSERT failed: Service only works with up to two directory levels - ";
    EXPECT_EQ(thrown.rfind(start, 0), 0u) << thrown;
    EXPECT_NE(thrown.find("PathsCommonImpl.cpp("), std::string::npos) << thrown;
    EXPECT_EQ(thrown.back(), ')');
    EXPECT_EQ(written, thrown + "\n");
}

TEST(ToolLookup, ThreeLevelsGoOnWhenTheReporterReturns)
{
    auto* reporter = new ReturningReporter;
    NDUtilities::AssertFailureReporter::instance().setReporter(reporter);
    const bfs::path result = Paths::exe(false, "a/b/c", "t");
    const std::vector<std::string> messages = reporter->messages;
    NDUtilities::AssertFailureReporter::instance().setReporter(nullptr);

    EXPECT_EQ(result, "/usr/local/Nordaxis/a/b/c/t");
    EXPECT_EQ(messages, std::vector<std::string>{"Service only works with up to two directory levels"});
}
