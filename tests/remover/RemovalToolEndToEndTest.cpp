// Runs the built tool from the bundle against temporary homes. The tool also
// considers fixed machine-wide paths; the tests refuse to run where any of them
// exists, so that they never remove anything outside their own folders.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <utility>

#include "RemovalTool.h"
#include "TestSupport.h"

namespace remover {

using namespace testsupport;

namespace {

const char* const kSettingsItems[] = {
    "Library/Preferences/com.nordaxis.tallowmere.plist",
    "Library/Preferences/Tallowmere Prefs.plist",
    "Library/Preferences/Tallowmere Prefs",
    "Library/Preferences/ReportPreview.plist",
    "Library/Application Support/Nordaxis",
};
const char* const kDataItems[] = { "Documents/Nordaxis" };
const char* const kUnrelatedItems[] = {
    "Library/Preferences/com.Nordaxis.other.plist",
    "Library/Preferences/com.nordaxis",
    "Library/Preferences/other.plist",
    "Library/Application Support/Other/keep.txt",
    "Documents/keep.txt",
};

class RemovalToolRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const auto folder = existingMachineWideFolder())
            GTEST_SKIP() << *folder << " exists on this machine; the tool would remove it";
        writeFile(m_home / "Library/Preferences/com.nordaxis.tallowmere.plist", "<plist/>");
        writeFile(m_home / "Library/Preferences/Tallowmere Prefs.plist", "<plist/>");
        writeFile(m_home / "Library/Preferences/Tallowmere Prefs/window.plist", "<plist/>");
        writeFile(m_home / "Library/Preferences/ReportPreview.plist", "<plist/>");
        writeFile(m_home / "Library/Application Support/Nordaxis/Tallowmere/Templates/t.qmx", "t");
        writeFile(m_home / "Documents/Nordaxis/results/run1.txt", "r");
        for (const char* item : kUnrelatedItems)
            writeFile(m_home / item, "keep");
    }

    ProcessResult runTool(const std::vector<std::string>& args, const ProcessOptions& options = {})
    {
        std::vector<std::string> argv = { TW_REMOVAL_TOOL };
        argv.insert(argv.end(), args.begin(), args.end());
        return runProgram(argv, options);
    }

    void expectItems(const char* const* begin, const char* const* end, bool present)
    {
        for (auto it = begin; it != end; ++it)
            EXPECT_EQ(entryExists(m_home / *it), present) << *it;
    }

    TempDir m_home;
    TempDir m_out;
};

} // namespace

TEST_F(RemovalToolRun, MaskSelectsWhatGoes)
{
    const struct {
        const char* mask;
        bool settings;
        bool data;
    } cases[] = { { "0", false, false }, { "2", true, false }, { "4", false, true }, { "6", true, true },
        { "x6", false, false } };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("mask ") + c.mask);
        SetUp();
        const std::string result = m_out / (std::string("r") + c.mask + ".log");
        const ProcessResult run = runTool({ c.mask, m_home.path(), result });
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(readFile(result), "success");
        expectItems(std::begin(kSettingsItems), std::end(kSettingsItems), !c.settings);
        expectItems(std::begin(kDataItems), std::end(kDataItems), !c.data);
        expectItems(std::begin(kUnrelatedItems), std::end(kUnrelatedItems), true);
    }
}

TEST_F(RemovalToolRun, ExtraArgumentsAreIgnoredAndTooFewAreRefused)
{
    const std::string result = m_out / "r.log";
    ProcessResult run = runTool({ "4", m_home.path(), result, "extra", "more" });
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(readFile(result), "success");
    EXPECT_FALSE(entryExists(m_home / "Documents/Nordaxis"));

    writeFile(m_home / "Documents/Nordaxis/again.txt", "x");
    run = runTool({ "6", m_home.path() });
    EXPECT_EQ(run.exitStatus, 64);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("usage:"), std::string::npos);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
    EXPECT_TRUE(entryExists(m_home / "Documents/Nordaxis/again.txt"));
    EXPECT_EQ(runTool({}).exitStatus, 64);
}

TEST_F(RemovalToolRun, UnusableHomeRemovesNothingAndFails)
{
    // Were the guard broken, these homes would name machine-wide folders.
    for (const char* path : { "/Library/Preferences", "/Documents/Nordaxis" }) {
        if (entryExists(path))
            GTEST_SKIP() << path << " exists on this machine; a faulty run could remove from it";
    }
    // A relative home resolves against the working folder: give it one that
    // holds what the user paths would name.
    writeFile(m_out / "relative/Documents/Nordaxis/keep.txt", "keep");
    makeSymlink("/", m_out / "link-to-root");
    const std::string linkToRoot = m_out / "link-to-root";
    const char* homes[] = { "", "relative", "/", "//", "/.", "/tmp/..", "/./../", linkToRoot.c_str() };
    for (const char* home : homes) {
        SCOPED_TRACE(std::string("home \"") + home + "\"");
        const std::string result = m_out / "r.log";
        ProcessOptions options;
        options.workingFolder = m_out.path();
        const ProcessResult run = runTool({ "6", home, result }, options);
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(readFile(result), "failed");
    }
    EXPECT_TRUE(entryExists(m_out / "relative/Documents/Nordaxis/keep.txt"));
}

TEST_F(RemovalToolRun, ResultFileFaultsAreSilent)
{
    const ProcessResult run = runTool({ "6", m_home.path(), m_out / "missing-folder/r.log" });
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out + run.err, "");
    EXPECT_FALSE(entryExists(m_out / "missing-folder"));

    writeFile(m_out / "victim.txt", "untouched");
    makeSymlink(m_out / "victim.txt", m_out / "planted.log");
    EXPECT_EQ(runTool({ "0", m_home.path(), m_out / "planted.log" }).exitStatus, 0);
    EXPECT_EQ(readFile(m_out / "victim.txt"), "untouched");
    EXPECT_EQ(readFile(m_out / "planted.log"), "success");

    // Silent, but known to the tool's code, which removal-explain prints.
    for (const auto& [resultPath, written] :
        { std::pair { m_out / "missing-folder/r.log", false }, std::pair { m_out / "r.log", true } }) {
        RemovalOutcome outcome;
        const char* argv[] = { "main", "0", m_home.path().c_str(), resultPath.c_str() };
        EXPECT_EQ(runRemovalTool(4, argv, ToolCaller(), &outcome), 0);
        EXPECT_EQ(outcome.verdictWritten, written) << resultPath;
    }
}

TEST_F(RemovalToolRun, ItemThatCannotBeRemovedGivesFailed)
{
    // The tool runs as an ordinary user over a data folder it may not change;
    // the settings it owns must still go. A copy of the tool is used, since
    // the build folder may not be reachable for that user.
    openUpPermissions(m_home.path());
    openUpPermissions(m_out.path());
    const std::string tool = m_out / "main";
    std::filesystem::copy_file(TW_REMOVAL_TOOL, tool);
    chmod(tool.c_str(), 0755);

    ProcessOptions options;
    if (geteuid() == 0) {
        const auto user = ordinaryUser();
        if (!user)
            GTEST_SKIP() << "running as root and no ordinary account to drop to";
        giveTo(m_home.path(), user->uid, user->gid);
        giveTo(m_out.path(), user->uid, user->gid);
        lchown((m_home / "Documents/Nordaxis/results").c_str(), 0, 0);
        lchown((m_home / "Documents/Nordaxis/results/run1.txt").c_str(), 0, 0);
        options.uid = user->uid;
        options.gid = user->gid;
    } else {
        chmod((m_home / "Documents/Nordaxis/results").c_str(), 0555);
    }

    const std::string result = m_out / "r.log";
    const ProcessResult run = runProgram({ tool, "6", m_home.path(), result }, options);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(readFile(result), "failed");
    EXPECT_TRUE(entryExists(m_home / "Documents/Nordaxis/results/run1.txt"));
    expectItems(std::begin(kSettingsItems), std::end(kSettingsItems), false);
}

namespace {

// True when this process may raise a hard resource limit (CAP_SYS_RESOURCE),
// which root lacks in some containers.
bool mayRaiseHardLimits()
{
    std::ifstream status("/proc/self/status"); // none on macOS: no such right to ask about
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 7, "CapEff:") == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> 24) & 1;
    }
    return false;
}

} // namespace

// pkexec hands the caller's resource limits on to the tool; it takes what it
// needs. Limits are lowered by a shell before the tool starts.
TEST_F(RemovalToolRun, LimitsOfTheStarterDoNotStopTheTool)
{
    for (int i = 0; i < 40; ++i)
        writeFile(m_home / ("Documents/Nordaxis/d" + std::to_string(i) + "/f"), "x");
    std::vector<std::pair<const char*, const char*>> cases = { { "few descriptors", "ulimit -S -n 7" } };
#if !defined(__SANITIZE_THREAD__)
    // The ThreadSanitizer runtime writes a file of its own before the tool's
    // main runs, which a file size limit of 0 stops there.
    cases.push_back({ "no file size at all", "ulimit -S -f 0" });
#endif
    // A lowered hard limit only root with the right to raise it gets back.
    if (geteuid() == 0 && mayRaiseHardLimits()) {
#if !defined(__SANITIZE_THREAD__)
        cases.push_back({ "no file size at all, for good", "ulimit -f 0" });
#endif
        cases.push_back({ "few descriptors, for good", "ulimit -n 7" });
    }
    for (const auto& [what, ulimit] : cases) {
        SCOPED_TRACE(what);
        SetUp();
        const std::string result = m_out / "r.log";
        const ProcessResult run = runProgram({ "/bin/sh", "-c", std::string(ulimit) + " && exec \"$0\" \"$@\"",
            TW_REMOVAL_TOOL, "6", m_home.path(), result });
        EXPECT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(readFile(result), "success");
        expectItems(std::begin(kDataItems), std::end(kDataItems), false);
    }
}

// Started from the caller's terminal (through pkexec), the tool is in the
// caller's session: what the terminal sends must not stop or end it halfway.
TEST_F(RemovalToolRun, TerminalSignalsDoNotStopTheTool)
{
    for (int i = 0; i < 300; ++i)
        writeFile(m_home / ("Documents/Nordaxis/f" + std::to_string(i)), "x");
    const std::string result = m_out / "r.log";
    const std::string home = m_home.path();
    std::fflush(nullptr);
    const pid_t tool = fork();
    ASSERT_GE(tool, 0);
    if (tool == 0) {
        execl(TW_REMOVAL_TOOL, "main", "6", home.c_str(), result.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const int terminalSignals[] = { SIGINT, SIGQUIT, SIGHUP, SIGTSTP, SIGTTIN, SIGTTOU };
    const auto ignoresThem = [&] {
        std::ifstream status("/proc/" + std::to_string(tool) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("SigIgn:", 0) != 0)
                continue;
            const unsigned long long ignored = std::stoull(line.substr(7), nullptr, 16);
            return std::all_of(std::begin(terminalSignals), std::end(terminalSignals),
                [&](int terminalSignal) { return (ignored >> (terminalSignal - 1)) & 1; });
        }
        return false;
    };
    bool ignored = false;
    for (int i = 0; i < 200000 && !(ignored = ignoresThem()); ++i) { }
    for (const int terminalSignal : terminalSignals)
        kill(tool, terminalSignal);
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 2000 && (ended = waitpid(tool, &status, WNOHANG | WUNTRACED)) == 0; ++i)
        usleep(10 * 1000);
    if (ended == 0 || (ended == tool && WIFSTOPPED(status))) {
        kill(tool, SIGKILL);
        waitpid(tool, &status, 0);
        FAIL() << "the tool was stopped, or did not end";
    }
    EXPECT_TRUE(ignored) << "the terminal's signals are not ignored from the start";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readFile(result), "success");
}

} // namespace remover
