// A user who starts the tool through pkexec chooses its arguments. These tests
// play that user and check that root acts only for them: on their own home,
// with a verdict only where they could have put a file themselves.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "RemovalTool.h"
#include "ResultFile.h"
#include "TestSupport.h"

namespace remover {

using namespace testsupport;

namespace {

// An account that is neither root nor the caller.
const uid_t kOtherUser = 4243;

TEST(ToolCaller, FromPkexecUid)
{
    EXPECT_FALSE(callerFromPkexec(nullptr).throughPkexec);

    const passwd* root = getpwuid(0);
    ASSERT_NE(root, nullptr);
    const ToolCaller asRoot = callerFromPkexec("0");
    EXPECT_TRUE(asRoot.throughPkexec);
    EXPECT_EQ(asRoot.user, 0u);
    EXPECT_EQ(asRoot.accountHome, root->pw_dir);

    // Whatever is not a user id names nobody who exists, and no home.
    for (const char* text : { "", "x", "12x", " 0", "-1", "+0", "4294967295", "99999999999999999999" }) {
        const ToolCaller caller = callerFromPkexec(text);
        EXPECT_TRUE(caller.throughPkexec) << text;
        EXPECT_EQ(caller.user, static_cast<uid_t>(-1)) << text;
        EXPECT_EQ(caller.accountHome, "") << text;
    }
}

class ToolCallerRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root: the files must belong to several users";
        const auto user = ordinaryUser();
        if (!user)
            GTEST_SKIP() << "no ordinary account to play the caller";
        m_user = *user;
        openUpPermissions(m_tmp.path());
        writeFile(home() + "/Documents/Nordaxis/data.txt", "x");
        writeFile(home() + "/Library/Preferences/com.nordaxis.a.plist", "x");
        giveTo(home(), m_user.uid, m_user.gid);
        writeFile(otherHome() + "/Documents/Nordaxis/data.txt", "keep");
        writeFile(otherHome() + "/Library/Preferences/com.nordaxis.a.plist", "keep");
        giveTo(otherHome(), kOtherUser, kOtherUser);
    }

    std::string home() const { return m_tmp / "home"; }
    std::string otherHome() const { return m_tmp / "other-home"; }
    std::string path(const std::string& relative) const { return m_tmp / relative; }

    ToolCaller caller(const std::string& accountHome) const
    {
        ToolCaller result;
        result.throughPkexec = true;
        result.user = m_user.uid;
        result.accountHome = accountHome;
        return result;
    }

    TempDir m_tmp;
    OrdinaryUser m_user {};
};

} // namespace

TEST_F(ToolCallerRun, OnlyTheCallersOwnHomeIsWorkedOn)
{
    makeSymlink(home(), path("root-link-to-home"));
    const struct {
        const char* what;
        std::string homeArgument;
        std::string accountHome;
        bool removed;
    } cases[] = {
        { "the account's home", home(), home(), true },
        { "the same folder by another path", path("root-link-to-home"), home(), true },
        { "another user's home", otherHome(), home(), false },
        { "a folder inside the home", home() + "/Documents", home(), false },
        { "no home in the account database", home(), "", false },
        { "an account home that does not exist", home(), path("missing"), false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        const RemovalOutcome outcome = runRemoval(6, c.homeArgument, path("no-machine-root"), caller(c.accountHome));
        EXPECT_EQ(outcome.ok, c.removed);
        EXPECT_EQ(entryExists(home() + "/Documents/Nordaxis"), !c.removed);
        EXPECT_EQ(entryExists(home() + "/Library/Preferences/com.nordaxis.a.plist"), !c.removed);
        EXPECT_TRUE(entryExists(otherHome() + "/Documents/Nordaxis/data.txt"));
        EXPECT_TRUE(entryExists(otherHome() + "/Library/Preferences/com.nordaxis.a.plist"));
    }
}

TEST_F(ToolCallerRun, VerdictOnlyWhereTheCallerCouldPutAFile)
{
    const std::string rootsFolder = path("etc"), sticky = path("shared"), others = path("others-ssh");
    const std::string callers = home() + "/tmp", spool = path("spool"), groupSticky = path("group-shared");
    for (const std::string& folder : { rootsFolder, sticky, others, callers, spool, groupSticky })
        makeFolders(folder);
    chmod(sticky.c_str(), 01777);
    // Like a crontab spool: sticky, but only its group may create files.
    giveTo(spool, 0, kOtherUser);
    chmod(spool.c_str(), 01730);
    giveTo(groupSticky, 0, m_user.gid);
    chmod(groupSticky.c_str(), 01770);
    giveTo(others, kOtherUser, kOtherUser);
    giveTo(callers, m_user.uid, m_user.gid);

    enum Before { Nothing, CallersFile, RootsFile, OthersFile, LinkToVictim, Fifo };
    const struct {
        const char* what;
        std::string folder;
        Before before;
        bool written;
    } cases[] = {
        { "a new file in the caller's folder", callers, Nothing, true },
        { "a file of the caller's in the caller's folder", callers, CallersFile, true },
        { "a new file in a sticky folder of root's", sticky, Nothing, true },
        { "a file of the caller's in a sticky folder of root's", sticky, CallersFile, true },
        { "another user's file in a sticky folder of root's", sticky, OthersFile, false },
        { "a file of root's in a sticky folder of root's", sticky, RootsFile, false },
        { "a new file in a sticky folder of root's the caller may not write", spool, Nothing, false },
        { "a new file in a sticky folder of root's the caller's group may write", groupSticky, Nothing, true },
        { "a file of root's in a folder of root's", rootsFolder, RootsFile, false },
        { "a new file in a folder of root's", rootsFolder, Nothing, false },
        { "another user's file in their folder", others, OthersFile, false },
        { "a link of the caller's to another user's file", callers, LinkToVictim, false },
        { "a named pipe of the caller's", callers, Fifo, false },
    };
    const std::string victim = path("victim");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string result = c.folder + "/r.log";
        std::filesystem::remove(result);
        writeFile(victim, "victim");
        giveTo(victim, kOtherUser, kOtherUser);
        switch (c.before) {
        case Nothing:
            break;
        case CallersFile:
        case RootsFile:
        case OthersFile:
            writeFile(result, "before");
            giveTo(result,
                c.before == CallersFile      ? m_user.uid
                    : c.before == OthersFile ? kOtherUser
                                             : 0,
                c.before == CallersFile      ? m_user.gid
                    : c.before == OthersFile ? kOtherUser
                                             : 0);
            break;
        case LinkToVictim:
            makeSymlink(victim, result);
            giveTo(result, m_user.uid, m_user.gid);
            break;
        case Fifo:
            ASSERT_EQ(mkfifo(result.c_str(), 0600), 0);
            giveTo(result, m_user.uid, m_user.gid);
            break;
        }
        EXPECT_EQ(writeResultFileForCaller(result, "success", m_user.uid), c.written);
        EXPECT_EQ(readFile(victim), "victim");
        if (c.written) {
            EXPECT_EQ(readFile(result), "success");
        } else if (c.before == Nothing) {
            EXPECT_FALSE(entryExists(result));
        } else if (c.before != LinkToVictim && c.before != Fifo) {
            EXPECT_EQ(readFile(result), "before");
        }
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(c.folder), {}), entryExists(result) ? 1 : 0)
            << "nothing left beside the verdict";
    }
}

// The installed tool as pkexec starts it: the caller in PKEXEC_UID. The
// account 'nobody' has no home of the test's, so every home is refused.
TEST_F(ToolCallerRun, ToolStartedThroughPkexecTakesNothingOnTrust)
{
    if (const auto folder = existingMachineWideFolder())
        GTEST_SKIP() << *folder << " exists on this machine; the tool would remove it";
    const std::string rootsFolder = path("etc"), sticky = path("shared");
    makeFolders(sticky);
    chmod(sticky.c_str(), 01777);
    writeFile(rootsFolder + "/passwd", "root:x:0:0");
    ProcessOptions options;
    options.environment = std::vector<std::string> { "PATH=/usr/bin:/bin", "PKEXEC_UID=" + std::to_string(m_user.uid) };

    ProcessResult run = runProgram({ TW_REMOVAL_TOOL, "6", home(), rootsFolder + "/passwd" }, options);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(readFile(rootsFolder + "/passwd"), "root:x:0:0");
    EXPECT_TRUE(entryExists(home() + "/Documents/Nordaxis/data.txt"));

    run = runProgram({ TW_REMOVAL_TOOL, "6", home(), sticky + "/r.log" }, options);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(readFile(sticky + "/r.log"), "failed");
    EXPECT_TRUE(entryExists(home() + "/Documents/Nordaxis/data.txt"));

    // Without PKEXEC_UID root's arguments are trusted as they always were.
    options.environment = std::vector<std::string> { "PATH=/usr/bin:/bin" };
    run = runProgram({ TW_REMOVAL_TOOL, "4", home(), rootsFolder + "/r.log" }, options);
    EXPECT_EQ(readFile(rootsFolder + "/r.log"), "success");
    EXPECT_FALSE(entryExists(home() + "/Documents/Nordaxis"));
}

} // namespace remover
