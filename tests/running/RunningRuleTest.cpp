#include "TallowmereRunning.h"
#include "TallowmereRunningRule.h"

#include "TestSupport.h"

#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

using testsupport::TempDir;
using testsupport::writeFile;

namespace {

const std::string kId = kTallowmereBundleIdentifier;

std::string plistNaming(const std::string& identifier)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
           "<key>CFBundleIdentifier</key>\n<string>"
        + identifier + "</string>\n</dict>\n</plist>\n";
}

// A bundle at `root` whose Info.plist names `identifier`, with its executable.
std::string makeBundle(
    const std::string& root, const std::string& identifier, const std::string& executable = "Contents/MacOS/Tallowmere")
{
    writeFile(root + "/Contents/Info.plist", plistNaming(identifier));
    writeFile(root + "/" + executable, "#!/bin/sh\n");
    return root + "/" + executable;
}

} // namespace

TEST(ProcessStatus, ReadsRealUidAndState)
{
    const std::string status = "Name:\tTallowmere\nUmask:\t0022\nState:\tS (sleeping)\nTgid:\t42\n"
                               "Uid:\t501\t0\t0\t0\nGid:\t20\t20\t20\t20\n";
    EXPECT_EQ(realUidFromStatus(status), 501u);
    EXPECT_EQ(stateFromStatus(status), 'S');
    EXPECT_EQ(stateFromStatus("State:\tZ (zombie)\n"), 'Z');
}

TEST(ProcessStatus, UnreadableFieldsStayUnknown)
{
    for (const std::string& status :
        { std::string(), std::string("Name:\tx\n"), std::string("Uid:\n"), std::string("Uid:\t-1\t0\t0\t0\n"),
            std::string("Uid:\tabc\n"), std::string("Uid:\t12x\t0\n"), std::string("Uid:\t99999999999999999999\n") }) {
        SCOPED_TRACE(status);
        EXPECT_FALSE(realUidFromStatus(status));
    }
    EXPECT_EQ(stateFromStatus("Name:\tx\n"), '?');
    EXPECT_EQ(stateFromStatus("State:\t\n"), '?');
    // A name that looks like a field does not fool the reader: only line starts count.
    EXPECT_EQ(realUidFromStatus("Name:\tUid:\t0\nUid:\t7\t7\t7\t7\n"), 7u);
}

TEST(ExecutableLink, DeletedMarkIsDroppedOnlyWhenTheTextNamesNoFile)
{
    EXPECT_EQ(executableFromLinkText("/A.app/Contents/MacOS/A (deleted)", false), "/A.app/Contents/MacOS/A");
    EXPECT_EQ(executableFromLinkText("/A.app/Contents/MacOS/A (deleted)", true), "/A.app/Contents/MacOS/A (deleted)");
    EXPECT_EQ(executableFromLinkText("/A.app/Contents/MacOS/A", false), "/A.app/Contents/MacOS/A");
    EXPECT_EQ(executableFromLinkText(" (deleted)", false), "");
}

TEST(BundleExecutable, CountsOnlyExecutablesDirectlyInContentsMacOSOfTheBundle)
{
    TempDir temp;
    EXPECT_TRUE(isExecutableOfBundle(makeBundle(temp / "Tallowmere.app", kId), kId));
    // The bundle's own name does not matter, only its identifier.
    EXPECT_TRUE(isExecutableOfBundle(makeBundle(temp / "Renamed Copy.app", kId, "Contents/MacOS/Other"), kId));

    EXPECT_FALSE(isExecutableOfBundle(makeBundle(temp / "In Contents.app", kId, "Contents/Tallowmere"), kId));
    EXPECT_FALSE(isExecutableOfBundle(makeBundle(temp / "Nested.app", kId, "Contents/MacOS/sub/Tallowmere"), kId));
    EXPECT_FALSE(isExecutableOfBundle(makeBundle(temp / "Top.app", kId, "Tallowmere"), kId));
    // A folder laid out like a bundle but not named X.app.
    EXPECT_FALSE(isExecutableOfBundle(makeBundle(temp / "Tallowmere", kId), kId));
    EXPECT_FALSE(isExecutableOfBundle(makeBundle(temp / "Plain/.app", kId), kId));
}

TEST(BundleExecutable, IdentifierMustMatchExactly)
{
    TempDir temp;
    EXPECT_FALSE(isExecutableOfBundle(makeBundle(temp / "W.app", "com.nordaxis.TallowmereUninstallWizard"), kId));
    EXPECT_FALSE(isExecutableOfBundle(makeBundle(temp / "P.app", "com.nordaxis.Tallow"), kId));
    EXPECT_FALSE(isExecutableOfBundle(makeBundle(temp / "C.app", "COM.NORDAXIS.TALLOWMERE"), kId));
    EXPECT_FALSE(isExecutableOfBundle(makeBundle(temp / "E.app", ""), kId));
}

TEST(BundleExecutable, UnreadableBundlesDoNotCount)
{
    TempDir temp;
    writeFile(temp / "NoPlist.app/Contents/MacOS/Tallowmere");
    EXPECT_FALSE(isExecutableOfBundle(temp / "NoPlist.app/Contents/MacOS/Tallowmere", kId));
    writeFile(temp / "Broken.app/Contents/Info.plist", "<plist><dict><key>CFBundleIdentifier</key>");
    EXPECT_FALSE(isExecutableOfBundle(temp / "Broken.app/Contents/MacOS/Tallowmere", kId));
    EXPECT_FALSE(isExecutableOfBundle(temp / "Missing.app/Contents/MacOS/Tallowmere", kId));
    EXPECT_FALSE(isExecutableOfBundle("", kId));
    // A relative path says nothing about where the process runs from.
    makeBundle(temp / "Rel.app", kId);
    EXPECT_FALSE(isExecutableOfBundle("Rel.app/Contents/MacOS/Tallowmere", kId));
}

// An executable at the top of the file system lies in no bundle, even where
// "/Contents/Info.plist" names the product. A child process takes a
// temporary folder as its root folder to lay that file out.
TEST(BundleExecutable, AnExecutableInTheRootFolderDoesNotCount)
{
    TempDir temp;
    makeBundle(temp.path(), kId, "x");
    const int kCannotChangeRoot = 77;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Outside root, a user namespace of its own grants the right to chroot.
        if ((geteuid() != 0 && unshare(CLONE_NEWUSER) != 0) || chroot(temp.path().c_str()) != 0 || chdir("/") != 0)
            _exit(kCannotChangeRoot);
        _exit(isExecutableOfBundle("/x", kId) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << WTERMSIG(status);
    if (WEXITSTATUS(status) == kCannotChangeRoot)
        GTEST_SKIP() << "cannot change the root folder here (needs root or user namespaces)";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "/x counted as an executable of the bundle at /";
}

TEST(CountingRule, OnlyLiveProcessesOfTheUserCount)
{
    TempDir temp;
    const std::string exe = makeBundle(temp / "Tallowmere.app", kId);
    const uid_t me = 501;

    EXPECT_TRUE(processCounts({ 1, me, 'S', exe }, me, kId));
    EXPECT_TRUE(processCounts({ 2, me, 'R', exe }, me, kId));
    EXPECT_TRUE(processCounts({ 3, me, 'T', exe }, me, kId)); // stopped, but still there
    EXPECT_TRUE(processCounts({ 4, me, 'D', exe }, me, kId));

    EXPECT_FALSE(processCounts({ 5, me, 'Z', exe }, me, kId));
    EXPECT_FALSE(processCounts({ 6, me, 'X', exe }, me, kId));
    EXPECT_FALSE(processCounts({ 7, uid_t(502), 'S', exe }, me, kId));
    EXPECT_FALSE(processCounts({ 8, std::nullopt, 'S', exe }, me, kId));
    EXPECT_FALSE(processCounts({ 9, me, 'S', "" }, me, kId));

    const std::vector<ProcessEntry> table
        = { { 10, me, 'S', exe }, { 11, me, 'Z', exe }, { 12, me, 'S', "/bin/sh" }, { 13, me, 'S', exe } };
    EXPECT_EQ(countedProcesses(table, me, kId), (std::vector<pid_t> { 10, 13 }));
    EXPECT_TRUE(countedProcesses({}, me, kId).empty());
}
