// The real Linux backend. Runs that start a tool use a test bundle and a
// temporary home; as the real tool also considers fixed machine-wide paths,
// those runs refuse to go on where any of them exists.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "JobPause.h"
#include "JobPlatformToolCheck.h"
#include "JobPlatform_linux.h"
#include "PrivilegedJob.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

// Stands in for the tool: records how it was started, then reports success.
// Descriptor 57 is one the test leaves open without close-on-exec.
const char* const kRecordingTool = "#!/bin/sh\n"
                                   "printf '%s\\n' \"$0\" \"$@\" > \"$3.args\"\n"
                                   "tr '\\0' '\\n' < /proc/$$/environ > \"$3.env\"\n"
                                   "where=$(readlink /proc/$$/cwd /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2)\n"
                                   "stray=no; [ -e /proc/$$/fd/57 ] && stray=yes\n"
                                   "echo $where $stray $(cut -d' ' -f6 /proc/$$/stat) $(id -u) > \"$3.how\"\n"
                                   "echo $$ >> \"$3.how\"\n"
                                   "printf success > \"$3\"\n";

class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value)
        : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedVariable() { m_old ? setenv(m_name.c_str(), m_old->c_str(), 1) : unsetenv(m_name.c_str()); }

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// Adds up the time the run waits, without changing how it waits.
struct ObservedPlatform : LinuxJobPlatform {
    using LinuxJobPlatform::LinuxJobPlatform;
    void sleep(double seconds) override
    {
        slept += seconds;
        LinuxJobPlatform::sleep(seconds);
    }
    double slept = 0;
};

// Draws a number known beforehand, so that a test can put something at the
// result path first.
struct FixedNumberPlatform : LinuxJobPlatform {
    using LinuxJobPlatform::LinuxJobPlatform;
    std::int32_t randomNumber() override { return 4242; }
};

void writeExecutable(const std::string& path, const std::string& contents, mode_t mode = 0755)
{
    writeFile(path, contents);
    chmod(path.c_str(), mode);
}

// A bundle, a home, a temporary folder and a folder for pkexec stand-ins.
struct Scene {
    TempDir root;
    std::string bundle = root / "Uninstall.app";
    std::string tool = bundle + "/Contents/MacOS/main";
    std::string home = root / "home";
    std::string temporary = root / "tmp";
    std::string elevators = root / "elevators";

    Scene()
    {
        for (const std::string& folder : { bundle + "/Contents/MacOS", home, temporary, elevators })
            makeFolders(folder);
        chmod(temporary.c_str(), 0700); // private to the user, as TMPDIR is on macOS
    }

    std::string resultFile() const
    {
        for (const auto& entry : std::filesystem::directory_iterator(temporary)) {
            if (entry.path().extension() == ".log")
                return entry.path().string();
        }
        return std::string();
    }

    int run(LinuxJobPlatform& platform) const
    {
        ScopedVariable homeVariable("HOME", home.c_str());
        ScopedVariable temporaryVariable("TMPDIR", temporary.c_str());
        return static_cast<int>(runPrivilegedJob(platform, 6));
    }

    void expectStartedDetached(uid_t uid) const
    {
        const std::string result = resultFile();
        ASSERT_FALSE(result.empty());
        EXPECT_EQ(readFile(result + ".args"), tool + "\n6\n" + home + "\n" + result + "\n");
        EXPECT_EQ(readFile(result + ".env"), std::string("PATH=") + LinuxJobPlatform::kToolSearchPath + "\n");
        // Working folder, streams, stray descriptor, session, user; then the
        // process id, which leads its own session.
        std::istringstream how(readFile(result + ".how"));
        std::string cwd, in, out, err, stray, session, user, pid;
        how >> cwd >> in >> out >> err >> stray >> session >> user >> pid;
        EXPECT_EQ(cwd + " " + in + " " + out + " " + err, "/ /dev/null /dev/null /dev/null");
        EXPECT_EQ(stray, "no") << "an inherited descriptor reached the tool";
        EXPECT_EQ(session, pid);
        EXPECT_EQ(user, std::to_string(uid));
    }
};

} // namespace

TEST(LinuxJobPlatform, HomeFolderFromHomeElsePasswordDatabase)
{
    LinuxJobPlatform platform("/b.app", "");
    const passwd* entry = getpwuid(getuid());
    const std::string fromDatabase = entry ? entry->pw_dir : "";
    const std::pair<const char*, std::string> cases[]
        = { { "/srv/people/ann//", "/srv/people/ann" }, { "relative/ann", fromDatabase }, { nullptr, fromDatabase } };
    for (const auto& [variable, expected] : cases) {
        ScopedVariable home("HOME", variable);
        EXPECT_EQ(platform.homeFolder(), expected) << (variable ? variable : "(unset)");
    }
}

TEST(LinuxJobPlatform, SleepsThroughThePauseSetAndItselfOtherwise)
{
    // The wizard keeps its window painted through the pause; a sleep that
    // passed it by would freeze the window again.
    LinuxJobPlatform platform("/b.app", "");
    std::vector<double> paused;
    const JobPause before = setJobPause([&](double seconds) { paused.push_back(seconds); });
    platform.sleep(1.0);
    platform.sleep(0.5);
    setJobPause(before);
    EXPECT_EQ(paused, (std::vector<double> { 1.0, 0.5 }));

    const double start = platform.monotonicSeconds();
    platform.sleep(0.02);
    EXPECT_GE(platform.monotonicSeconds() - start, 0.02) << "without a pause the thread sleeps";
}

TEST(LinuxJobPlatform, ReadsOnlyWholeValidUtf8FromRegularFiles)
{
    TempDir dir;
    LinuxJobPlatform platform("/b.app", "");
    const std::pair<std::string, bool> cases[] = {
        { "success", true },
        { "", true },
        { "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", true },
        { std::string("a\0b", 3), true },
        { "\xff", false },
        { "succes\xc3", false } /* cut short */,
        { "\xc0\xaf", false } /* overlong */,
        { "\xed\xa0\x80", false } /* surrogate */,
        { "\xf4\x90\x80\x80", false } /* beyond U+10FFFF */,
        { std::string(70000, 'a'), false },
    };
    for (const auto& [bytes, readable] : cases) {
        writeFile(dir / "verdict", bytes);
        EXPECT_EQ(platform.readText(dir / "verdict"), readable ? std::optional<std::string>(bytes) : std::nullopt)
            << bytes.substr(0, 20);
    }
    EXPECT_FALSE(platform.readText(dir / "missing"));
    EXPECT_FALSE(platform.readText(dir.path()));
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_FALSE(platform.readText(dir / "fifo")) << "a FIFO is no verdict (and must not block)";
}

TEST(LinuxJobPlatform, VerdictOnlyFromARegularFileOfRootOrTheUser)
{
    TempDir dir;
    LinuxJobPlatform platform("/b.app", "");
    writeFile(dir / "verdict", "success");
    makeSymlink(dir / "verdict", dir / "link");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_TRUE(platform.fileExists(dir / "verdict"));
    for (const char* name : { "link", "fifo", "missing" })
        EXPECT_FALSE(platform.fileExists(dir / name)) << name;
    EXPECT_FALSE(platform.readText(dir / "link")) << "a link is no verdict";

    const auto other = ordinaryUser();
    if (geteuid() != 0 || !other)
        GTEST_SKIP() << "needs root and the account 'nobody' for a file of another user";
    ASSERT_EQ(chown((dir / "verdict").c_str(), other->uid, other->gid), 0);
    EXPECT_FALSE(platform.fileExists(dir / "verdict")) << "another user's file is no verdict";
    EXPECT_FALSE(platform.readText(dir / "verdict"));
}

TEST(LinuxJobPlatform, TemporaryFolderIsAPrivateTmpdirElseAPrivateRuntimeFolderElseOneOfItsOwn)
{
    TempDir dir;
    const std::string runtime = dir / "run", loose = dir / "loose", link = dir / "link", foreign = dir / "foreign";
    const std::string shared = dir / "shared", missing = dir / "missing";
    for (const std::string& folder : { runtime, loose, foreign, shared })
        makeFolders(folder);
    chmod(runtime.c_str(), 0700);
    chmod(loose.c_str(), 0750);
    chmod(foreign.c_str(), 0700);
    chmod(shared.c_str(), 01777);
    makeSymlink(runtime, link);
    const auto other = ordinaryUser();
    const bool foreignOwned = geteuid() == 0 && other && chown(foreign.c_str(), other->uid, other->gid) == 0;

    // An empty expectation: a private folder made in the shared one (a shared
    // TMPDIR, or failing that the shared temporary folder).
    std::vector<std::tuple<const char*, const char*, std::string>> cases = {
        { runtime.c_str(), nullptr, runtime + "/" },
        { shared.c_str(), runtime.c_str(), "" },
        { "/srv/t", runtime.c_str(), "" },
        { "relative", runtime.c_str(), runtime + "/" },
        { nullptr, runtime.c_str(), runtime + "/" },
        { nullptr, loose.c_str(), "" },
        { nullptr, link.c_str(), "" },
        { nullptr, "run", "" },
        { nullptr, missing.c_str(), "" },
        { nullptr, nullptr, "" },
    };
    if (foreignOwned)
        cases.push_back({ nullptr, foreign.c_str(), "" });
    LinuxJobPlatform platform("/b.app", "", shared);
    std::string made;
    for (const auto& [tmpdir, xdg, expected] : cases) {
        SCOPED_TRACE(std::string(tmpdir ? tmpdir : "-") + " " + (xdg ? xdg : "-"));
        ScopedVariable tmpdirVariable("TMPDIR", tmpdir);
        ScopedVariable runtimeVariable("XDG_RUNTIME_DIR", xdg);
        const std::string folder = platform.temporaryFolder();
        if (!expected.empty()) {
            EXPECT_EQ(folder, expected);
            continue;
        }
        ASSERT_EQ(folder.compare(0, shared.size() + 1, shared + "/"), 0) << folder;
        ASSERT_EQ(folder.back(), '/');
        if (made.empty())
            made = folder;
        EXPECT_EQ(folder, made) << "one folder for the whole run";
        struct stat info;
        ASSERT_EQ(lstat(folder.c_str(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(info.st_mode & 07777, 0700u);
        EXPECT_EQ(info.st_uid, getuid());
    }

    // Taken away or opened up meanwhile: a new one is made.
    ASSERT_FALSE(made.empty());
    chmod(made.c_str(), 0755);
    const std::string again = platform.temporaryFolder();
    EXPECT_NE(again, made);
    EXPECT_EQ(again.compare(0, shared.size() + 1, shared + "/"), 0) << again;

    // No shared folder to make one in: the shared folder's path alone.
    LinuxJobPlatform nowhere("/b.app", "", missing);
    EXPECT_EQ(nowhere.temporaryFolder(), "");
}

class LinuxJobAsRoot : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root: only a root wizard starts the tool directly";
        if (const auto folder = testsupport::existingMachineWideFolder())
            GTEST_SKIP() << *folder << " exists on this machine; the tool would remove it";
    }
    Scene scene;
};

TEST_F(LinuxJobAsRoot, RealToolRemovesFromTheTemporaryHome)
{
    std::filesystem::copy_file(TW_REMOVAL_TOOL, scene.tool);
    const std::string prefs = scene.home + "/Library/Preferences";
    writeFile(prefs + "/com.nordaxis.tallowmere.plist", "<plist/>");
    writeFile(scene.home + "/Documents/Nordaxis/run1.txt", "r");
    writeFile(prefs + "/other.plist", "keep");

    LinuxJobPlatform platform(scene.bundle, "");
    EXPECT_EQ(scene.run(platform), 2);
    EXPECT_FALSE(entryExists(prefs + "/com.nordaxis.tallowmere.plist"));
    EXPECT_FALSE(entryExists(scene.home + "/Documents/Nordaxis"));
    EXPECT_TRUE(entryExists(prefs + "/other.plist"));
}

TEST_F(LinuxJobAsRoot, ToolStartsDetachedWithExactlyItsArguments)
{
    writeExecutable(scene.tool, kRecordingTool);
    ASSERT_EQ(dup2(open("/dev/null", O_RDONLY), 57), 57);
    LinuxJobPlatform platform(scene.bundle, "");
    const int result = scene.run(platform);
    close(57);
    EXPECT_EQ(result, 2);
    scene.expectStartedDetached(0);
}

TEST_F(LinuxJobAsRoot, ToolWithoutVerdictGivesFailurePromptly)
{
    const std::tuple<const char*, const char*, mode_t> cases[] = {
        { "writes nothing", "#!/bin/sh\nexit 0\n", 0755 },
        { "leaves the file empty", "#!/bin/sh\n: > \"$3\"\n", 0755 },
        { "not executable", "#!/bin/sh\nprintf success > \"$3\"\n", 0644 },
    };
    for (const auto& [what, script, mode] : cases) {
        std::filesystem::remove(scene.tool);
        writeExecutable(scene.tool, script, mode);
        ObservedPlatform platform(scene.bundle, "");
        EXPECT_EQ(scene.run(platform), 1) << what;
        EXPECT_LT(platform.slept, 30.0) << what << ": the wait should end with the tool, not at the bound";
    }
}

TEST_F(LinuxJobAsRoot, VerdictPlantedByAnotherUserIsNotTaken)
{
    const auto other = ordinaryUser();
    if (!other)
        GTEST_SKIP() << "no account 'nobody' to plant the file";
    writeExecutable(scene.tool, "#!/bin/sh\nexit 0\n");
    chmod(scene.temporary.c_str(), 01777);
    const std::string planted = scene.temporary + "/4242.log";
    writeFile(planted, "success");
    ASSERT_EQ(chown(planted.c_str(), other->uid, other->gid), 0);
    FixedNumberPlatform platform(scene.bundle, "");
    EXPECT_EQ(scene.run(platform), 1);
}

TEST_F(LinuxJobAsRoot, ToolOthersCouldChangeIsNeverStarted)
{
    const auto other = ordinaryUser();
    if (!other)
        GTEST_SKIP() << "no account 'nobody' to own entries";
    const std::string safe = scene.root / "safe", sticky = scene.root / "sticky", open = scene.root / "open";
    for (const std::string& folder : { safe + "/MacOS", sticky + "/MacOS", open + "/MacOS", scene.root / "theirs" })
        makeFolders(folder);
    chmod(scene.root.path().c_str(), 0755);
    chmod(sticky.c_str(), 01777);
    chmod(open.c_str(), 0777);
    ASSERT_EQ(chown((scene.root / "theirs").c_str(), other->uid, other->gid), 0);
    for (const std::string& folder : { safe, sticky, open })
        writeExecutable(folder + "/MacOS/main", "#!/bin/sh\n");
    writeExecutable(safe + "/loose", "#!/bin/sh\n", 0775);
    writeExecutable(safe + "/theirs", "#!/bin/sh\n");
    ASSERT_EQ(chown((safe + "/theirs").c_str(), other->uid, other->gid), 0);
    makeSymlink("MacOS/main", safe + "/relative");
    makeSymlink(open + "/MacOS/main", safe + "/to-open");
    makeSymlink("../safe/MacOS/main", open + "/MacOS/back");
    makeSymlink(safe + "/loop", safe + "/loop");
    makeSymlink(safe + "/MacOS", scene.root / "theirs/link");

    // The rule that refuses a path is named, for the log that explains a
    // window that closed after the password.
    const std::pair<std::string, const char*> cases[] = {
        { safe + "/MacOS/main", nullptr },
        { safe + "/MacOS/../MacOS/./main", nullptr },
        { safe + "/relative", nullptr },
        { sticky + "/MacOS/main", nullptr }, // a root-owned entry in a sticky folder stays
        { open + "/MacOS/main", "writable by others: " }, // others may swap MacOS
        { safe + "/to-open", "writable by others: " }, // through a link into such a folder
        { open + "/MacOS/back", "writable by others: " }, // a link in such a folder
        { safe + "/loose", "writable by others: " }, // group-writable
        { safe + "/theirs", "owned by another user: " },
        { scene.root / "theirs/link/main", "owned by another user: " },
        { safe + "/MacOS", "not a regular file: " },
        { safe + "/missing", "cannot be looked at: " },
        { safe + "/loop", "link not followed: " },
        { "relative/main", "not an absolute path: " },
    };
    for (const auto& [path, rule] : cases) {
        std::string why;
        EXPECT_EQ(isToolOnlyChangeableBy(path, 0, std::nullopt, &why), rule == nullptr) << path;
        if (rule) {
            EXPECT_EQ(why.rfind(rule, 0), 0u) << path << " refused as " << why;
        }
    }
    EXPECT_TRUE(isToolOnlyChangeableBy(safe + "/theirs", other->uid)) << "the user's own tool";
    EXPECT_TRUE(isToolOnlyChangeableBy(safe + "/theirs", 0, other->gid)) << "an administrator's tool";
    // A folder that a group may write to, as /Applications is for macOS's
    // administrators: fine only when that is the group named as theirs.
    ASSERT_EQ(chown(open.c_str(), 0, other->gid), 0);
    chmod(open.c_str(), 0775);
    EXPECT_FALSE(isToolOnlyChangeableBy(open + "/MacOS/main", 0));
    EXPECT_TRUE(isToolOnlyChangeableBy(open + "/MacOS/main", 0, other->gid));
    EXPECT_FALSE(isToolOnlyChangeableBy(open + "/MacOS/main", 0, other->gid + 1));
    chmod(open.c_str(), 0777);

    // The run ends as a refused one, before the tool could start.
    writeExecutable(scene.tool, kRecordingTool);
    chmod(scene.bundle.c_str(), 0777);
    ObservedPlatform platform(scene.bundle, "");
    EXPECT_EQ(scene.run(platform), 0);
    EXPECT_EQ(platform.slept, 0);
    EXPECT_EQ(scene.resultFile(), "");
}

// The ordinary user's road, in a child process that drops root. The stand-in
// for pkexec "grants" by running its arguments unchanged; the real one is in
// RealPolkitTest.cpp.
class LinuxJobAsOrdinaryUser : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto user = ordinaryUser();
        if (geteuid() == 0 && !user)
            GTEST_SKIP() << "running as root and there is no ordinary account to drop to";
        writeExecutable(scene.tool, kRecordingTool);
        if (geteuid() == 0) {
            m_uid = user->uid;
            giveTo(scene.root.path(), user->uid, user->gid);
        }
    }

    // The removal result, and whether the run waited past the first test.
    std::pair<int, bool> runAsOrdinaryUser(const std::string& elevatorSearchPath)
    {
        std::string whyNot;
        const std::optional<int> status = runInChildAsOrdinaryUser(
            [&] {
                ObservedPlatform platform(scene.bundle, elevatorSearchPath);
                const int result = scene.run(platform);
                return result * 2 + (platform.slept > kFirstTestDelay);
            },
            &whyNot);
        EXPECT_TRUE(status) << whyNot;
        return { status.value_or(-2) / 2, status.value_or(-2) % 2 != 0 };
    }

    Scene scene;
    uid_t m_uid = geteuid();
};

TEST_F(LinuxJobAsOrdinaryUser, RefusedElevationGivesZeroWithinOneTest)
{
    writeExecutable(scene.elevators + "/dismissed/pkexec", "#!/bin/sh\nexit 126\n");
    writeExecutable(scene.elevators + "/failed/pkexec", "#!/bin/sh\nexit 127\n");
    std::vector<std::pair<const char*, std::string>> cases = {
        { "no pkexec", scene.elevators },
        { "dismissed dialog", scene.elevators + "/dismissed" },
        { "failed authorisation", scene.elevators + "/failed" },
    };
    // Here the real pkexec finds no authentication agent; on a desktop it
    // would put up a real dialog.
    if (entryExists("/usr/bin/pkexec") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        cases.push_back({ "real pkexec, no agent", LinuxJobPlatform::kSystemElevatorSearchPath });
    for (const auto& [what, searchPath] : cases) {
        EXPECT_EQ(runAsOrdinaryUser(searchPath), std::make_pair(0, false)) << what;
        EXPECT_EQ(scene.resultFile(), "") << what << ": the tool must not have run";
    }
}

TEST_F(LinuxJobAsOrdinaryUser, GrantedElevationStartsTheToolDetached)
{
    // The stand-in passes on what the wizard gave it, less the PWD its shell
    // exports.
    writeExecutable(scene.elevators + "/pkexec", "#!/bin/sh\nexec /usr/bin/env -u PWD \"$@\"\n");
    EXPECT_EQ(runAsOrdinaryUser("relative:" + scene.elevators).first, 2);
    scene.expectStartedDetached(m_uid);
}
