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

// A home and a temporary folder of the test's own.
class ProductPaths : public ::testing::Test {
protected:
    ProductPaths() { makeFolders(tmp / "t"); }
    TempDir tmp;
    ScopedEnvironment m_home { "HOME", tmp / "home" };
    ScopedEnvironment m_tmpdir { "TMPDIR", tmp / "t" };
};

struct ReturningReporter : NDUtilities::AssertFailureReporter {
    void assertFailure(const char* message, const char*, int) override { messages.push_back(message); }
    std::vector<std::string> messages;
};

} // namespace

TEST_F(ProductPaths, FoldersAreCreatedAndMayExistAlready)
{
    const bfs::path tallowmere = tmp / "home/Library/Application Support/Nordaxis/Tallowmere";
    EXPECT_EQ(Paths::latticaUserAppSupportPath(), tallowmere / "Lattica");
    EXPECT_TRUE(bfs::is_directory(tallowmere / "Lattica"));
    EXPECT_EQ(Paths::tallowmereUserAppSupportPath(), tallowmere);
    EXPECT_EQ(Paths::latticaUserAppSupportPath(), tallowmere / "Lattica");

    EXPECT_EQ(Paths::temporaryPath(), tmp / "t");
    EXPECT_EQ(Paths::testFilesPath(), tmp / "t/TalTests");
    EXPECT_EQ(Paths::latticaTemporaryFilesPath(), tmp / "t/ND Lattica");
    EXPECT_EQ(Paths::latticaTemporaryFilesPath(), tmp / "t/ND Lattica");
    EXPECT_TRUE(bfs::is_directory(tmp / "t/TalTests") && bfs::is_directory(tmp / "t/ND Lattica"));
    EXPECT_EQ(Paths::createDirectories(tmp / "t/a/Ω"), tmp / "t/a/Ω");
    EXPECT_TRUE(bfs::is_directory(tmp / "t/a/Ω"));
}

TEST_F(ProductPaths, MachineWideFolderIsNamedButNotCreated)
{
    const bool existedBefore = bfs::exists("/Library/Application Support/Nordaxis");
    EXPECT_EQ(Paths::tallowmereAppSupportPath(), "/Library/Application Support/Nordaxis/Tallowmere");
    EXPECT_EQ(bfs::exists("/Library/Application Support/Nordaxis"), existedBefore);
    EXPECT_FALSE(bfs::exists(tmp / "home"));
}

TEST_F(ProductPaths, FailuresToCreateOrFindAFolderPassThrough)
{
    writeFile(tmp / "home/Library", "a file in the way");
    EXPECT_THROW(Paths::tallowmereUserAppSupportPath(), bfs::filesystem_error);
    ScopedEnvironment missingTemporary("TMPDIR", tmp / "no such folder");
    EXPECT_THROW(Paths::testFilesPath(), bfs::filesystem_error);
}

TEST(ToolLookup, NativeToolsLieBesideTheApplication)
{
    const bfs::path tools = Paths::applicationBundlePath().parent_path() / "Tallowmere External Tools";
    EXPECT_EQ(Paths::nativeToolPathDir(""), tools);
    EXPECT_EQ(Paths::nativeToolPath("a/b", "t"), tools / "a/b/t");
    for (const bfs::path& subFolder : { bfs::path(""), bfs::path("a/b/c") }) {
        EXPECT_EQ(Paths::exe(true, subFolder, "t"), Paths::nativeToolPath(subFolder, "t"));
        EXPECT_EQ(Paths::exeOrPerl(true, subFolder, "t"), Paths::nativeToolPath(subFolder, "t"));
        EXPECT_EQ(Paths::exeOrPerl(false, subFolder, "t"), "/usr/bin/perl");
    }
}

TEST(ToolLookup, PosixToolsByDepthOfTheSubFolder)
{
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Paths::exe(false, "", "t"), "/usr/local/bin/t");
    EXPECT_EQ(Paths::exe(false, "a", "t"), "/usr/local/bin/t");
    EXPECT_EQ(Paths::exe(false, "a/b", "t"), "/usr/local/Nordaxis/a/b/t");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "up to two levels report nothing";

    ::testing::internal::CaptureStderr();
    std::string thrown;
    try {
        Paths::exe(false, "a/b/c", "t");
    } catch (const std::runtime_error& error) {
        thrown = error.what();
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), thrown + "\n");
    EXPECT_EQ(thrown.rfind("NDASSERT failed: Service only works with up to two directory levels - ", 0), 0u);
    EXPECT_NE(thrown.find("PathsCommonImpl.cpp("), std::string::npos) << thrown;
}

TEST(ToolLookup, ThreeLevelsGoOnWhenTheReporterReturns)
{
    auto* reporter = new ReturningReporter;
    NDUtilities::AssertFailureReporter::instance().setReporter(reporter);
    const bfs::path result = Paths::exe(false, "a/b/c", "t");
    const std::vector<std::string> messages = reporter->messages;
    NDUtilities::AssertFailureReporter::instance().setReporter(nullptr);
    EXPECT_EQ(result, "/usr/local/Nordaxis/a/b/c/t");
    EXPECT_EQ(messages, std::vector<std::string> { "Service only works with up to two directory levels" });
}
