// The real Linux backend. Runs that start a tool use a test bundle and a
// temporary home; as the real tool also considers fixed machine-wide paths,
// those runs refuse to go on where any of them exists.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "JobPlatform_linux.h"
#include "PrivilegedJob.h"
#include "TestSupport.h"

using namespace testsupport;

namespace {

const char* const kMachineWidePaths[] = {
    "/Applications/Tallowmere 5.4.1",
    "/Library/Application Support/Nordaxis",
};

// A descriptor left open without close-on-exec; the tool must not get it.
const int kStrayFd = 57;

// Stands in for the tool: records how it was started, then reports success.
const char* const kRecordingTool =
    "#!/bin/sh\n"
    "printf '%s\\n' \"$0\" \"$@\" > \"$3.args\"\n"
    "tr '\\0' '\\n' < /proc/$$/environ > \"$3.env\"\n"
    "where=$(readlink /proc/$$/cwd /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2)\n"
    "[ -e /proc/$$/fd/57 ] && where=\"$where stray\"\n"
    "printf '%s\\n' \"$where\" > \"$3.where\"\n"
    "echo \"$$ $(cut -d' ' -f6 /proc/$$/stat) $(id -u)\" > \"$3.session\"\n"
    "printf success > \"$3\"\n";

class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : m_name(name)
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

// Counts the time the run spends waiting, without changing how it waits.
class ObservedPlatform : public LinuxJobPlatform {
public:
    using LinuxJobPlatform::LinuxJobPlatform;
    void sleep(double seconds) override
    {
        slept += seconds;
        LinuxJobPlatform::sleep(seconds);
    }
    double slept = 0;
};

void writeExecutable(const std::string& path, const std::string& contents, mode_t mode = 0755)
{
    writeFile(path, contents);
    chmod(path.c_str(), mode);
}

std::string passwordHome()
{
    const passwd* entry = getpwuid(getuid());
    return entry ? entry->pw_dir : "";
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

std::optional<std::string> machineWidePathPresent()
{
    for (const char* path : kMachineWidePaths) {
        if (entryExists(path))
            return std::string(path);
    }
    return std::nullopt;
}

// A bundle, a home and a temporary folder, all inside one temporary folder.
struct Scene {
    TempDir root;
    std::string bundle = root / "Uninstall.app";
    std::string tool = bundle + "/Contents/MacOS/main";
    std::string home = root / "home";
    std::string temporary = root / "tmp";
    std::string elevators = root / "elevators";

    Scene()
    {
        makeFolders(bundle + "/Contents/MacOS");
        makeFolders(home);
        makeFolders(temporary);
        makeFolders(elevators);
    }

    // The one result file the run left, or empty.
    std::string resultFile() const
    {
        for (const auto& entry : std::filesystem::directory_iterator(temporary)) {
            const std::string name = entry.path().filename().string();
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".log") == 0)
                return entry.path().string();
        }
        return std::string();
    }

    int run(LinuxJobPlatform& platform, int mask)
    {
        ScopedVariable homeVariable("HOME", home.c_str());
        ScopedVariable temporaryVariable("TMPDIR", temporary.c_str());
        return privilegedjob::runPrivilegedJob(platform, mask);
    }

    // What the recording tool wrote about its start.
    void expectStartedDetached(uid_t expectedUid) const
    {
        const std::string result = resultFile();
        ASSERT_FALSE(result.empty());
        EXPECT_EQ(linesOf(readFile(result + ".args")), (std::vector<std::string>{tool, "6", home, result}));
        EXPECT_EQ(readFile(result + ".env"), std::string("PATH=") + LinuxJobPlatform::kToolSearchPath + "\n");
        EXPECT_EQ(linesOf(readFile(result + ".where")),
                  (std::vector<std::string>{"/", "/dev/null", "/dev/null", "/dev/null"}));
        const std::vector<std::string> session = linesOf(readFile(result + ".session"));
        ASSERT_EQ(session.size(), 1u);
        std::istringstream fields(session[0]);
        std::string pid, sid, uid;
        fields >> pid >> sid >> uid;
        EXPECT_EQ(pid, sid) << "the tool should lead its own session";
        EXPECT_EQ(uid, std::to_string(expectedUid));
    }
};

}  // namespace

TEST(LinuxJobPlatform, HomeFolderFromHomeElsePasswordDatabase)
{
    LinuxJobPlatform platform("/b.app", "");
    {
        ScopedVariable home("HOME", "/srv/people/ann//");
        EXPECT_EQ(platform.homeFolder(), "/srv/people/ann");
    }
    {
        ScopedVariable home("HOME", "relative/ann");
        EXPECT_EQ(platform.homeFolder(), passwordHome());
    }
    {
        ScopedVariable home("HOME", nullptr);
        EXPECT_EQ(platform.homeFolder(), passwordHome());
    }
}

TEST(LinuxJobPlatform, TemporaryFolderEndsWithSeparatorOrIsNone)
{
    LinuxJobPlatform platform("/b.app", "");
    {
        ScopedVariable temporary("TMPDIR", "/var/tmp/ann");
        EXPECT_EQ(platform.temporaryFolder(), "/var/tmp/ann/");
    }
    {
        ScopedVariable temporary("TMPDIR", "/var/tmp/ann/");
        EXPECT_EQ(platform.temporaryFolder(), "/var/tmp/ann/");
    }
    for (const char* none : {static_cast<const char*>(nullptr), "", "tmp"}) {
        ScopedVariable temporary("TMPDIR", none);
        EXPECT_EQ(platform.temporaryFolder(), "") << (none ? none : "(unset)");
    }
}

TEST(LinuxJobPlatform, ReadsOnlyWholeValidUtf8FromRegularFiles)
{
    TempDir dir;
    LinuxJobPlatform platform("/b.app", "");
    const struct {
        std::string bytes;
        bool readable;
    } cases[] = {
        {"success", true},
        {"", true},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", true},
        {std::string("a\0b", 3), true},
        {"\xff", false},
        {"succes\xc3", false},          // cut short
        {"\xc0\xaf", false},            // overlong
        {"\xed\xa0\x80", false},        // surrogate
        {"\xf4\x90\x80\x80", false},    // beyond U+10FFFF
        {std::string(70000, 'a'), false},
    };
    for (const auto& c : cases) {
        writeFile(dir / "verdict", c.bytes);
        const std::optional<std::string> text = platform.readText(dir / "verdict");
        EXPECT_EQ(text.has_value(), c.readable) << c.bytes.substr(0, 20);
        if (text) {
            EXPECT_EQ(*text, c.bytes);
        }
    }

    EXPECT_FALSE(platform.readText(dir / "missing"));
    EXPECT_FALSE(platform.readText(dir.path()));
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_FALSE(platform.readText(dir / "fifo")) << "a FIFO is no verdict (and must not block)";
}

class LinuxJobAsRoot : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root: the tool is started directly only by a root wizard";
        if (const auto present = machineWidePathPresent())
            GTEST_SKIP() << *present << " exists on this machine; the tool would remove it";
    }

    int run(int mask)
    {
        LinuxJobPlatform platform(scene.bundle, "");
        return scene.run(platform, mask);
    }

    Scene scene;
};

TEST_F(LinuxJobAsRoot, RealToolRemovesFromTheTemporaryHome)
{
    std::filesystem::copy_file(TW_REMOVAL_TOOL, scene.tool);
    const std::string prefs = scene.home + "/Library/Preferences";
    writeFile(prefs + "/com.nordaxis.tallowmere.plist", "<plist/>");
    writeFile(prefs + "/Tallowmere Prefs.plist", "<plist/>");
    writeFile(scene.home + "/Documents/Nordaxis/run1.txt", "r");
    writeFile(prefs + "/other.plist", "keep");

    EXPECT_EQ(run(6), 2);
    EXPECT_FALSE(entryExists(prefs + "/com.nordaxis.tallowmere.plist"));
    EXPECT_FALSE(entryExists(prefs + "/Tallowmere Prefs.plist"));
    EXPECT_FALSE(entryExists(scene.home + "/Documents/Nordaxis"));
    EXPECT_TRUE(entryExists(prefs + "/other.plist"));
    EXPECT_EQ(readFile(scene.resultFile()), "success");
}

TEST_F(LinuxJobAsRoot, ToolStartsDetachedWithExactlyItsArguments)
{
    writeExecutable(scene.tool, kRecordingTool);
    ASSERT_EQ(dup2(open("/dev/null", O_RDONLY), kStrayFd), kStrayFd);
    const int result = run(6);
    close(kStrayFd);
    EXPECT_EQ(result, 2);
    scene.expectStartedDetached(0);
}

TEST_F(LinuxJobAsRoot, ToolWithoutVerdictGivesFailurePromptly)
{
    const struct {
        const char* what;
        const char* script;  // none: no tool at all
        mode_t mode;
    } cases[] = {
        {"writes nothing", "#!/bin/sh\nexit 0\n", 0755},
        {"leaves the file empty", "#!/bin/sh\n: > \"$3\"\n", 0755},
        {"not executable", "#!/bin/sh\nprintf success > \"$3\"\n", 0644},
        {"missing", nullptr, 0},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(scene.tool);
        if (c.script)
            writeExecutable(scene.tool, c.script, c.mode);
        ObservedPlatform platform(scene.bundle, "");
        EXPECT_EQ(scene.run(platform, 6), 1) << c.what;
        // The wait ends with the tool, not at the bound.
        EXPECT_LT(platform.slept, 30.0) << c.what;
    }
}

// The ordinary user's road, in a child process that drops root. The elevator
// stands in for pkexec: it "grants" by running its arguments unchanged.
class LinuxJobAsOrdinaryUser : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto user = ordinaryUser();
        if (geteuid() == 0 && !user)
            GTEST_SKIP() << "running as root and there is no ordinary account to drop to";
        if (geteuid() == 0)
            m_uid = user->uid;
        writeExecutable(scene.tool, kRecordingTool);
        if (geteuid() == 0)
            giveTo(scene.root.path(), user->uid, user->gid);
    }

    // Result of the run in the child, with the time it waited in tenths of a second.
    struct Outcome {
        int result;
        int sleptTenths;
    };
    std::optional<Outcome> runAsOrdinaryUser(const std::string& elevatorSearchPath)
    {
        std::string whyNot;
        const std::optional<int> status = runInChildAsOrdinaryUser(
            [&] {
                ObservedPlatform platform(scene.bundle, elevatorSearchPath);
                const int result = scene.run(platform, 6);
                const int tenths = static_cast<int>(platform.slept * 10 + 0.5);
                return result * 40 + std::min(tenths, 39);
            },
            &whyNot);
        if (!status) {
            ADD_FAILURE() << whyNot;
            return std::nullopt;
        }
        return Outcome{*status / 40, *status % 40};
    }

    Scene scene;
    uid_t m_uid = geteuid();
};

TEST_F(LinuxJobAsOrdinaryUser, WithoutPkexecTheRunIsRefused)
{
    const auto outcome = runAsOrdinaryUser(scene.elevators);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->result, 0);
    EXPECT_EQ(outcome->sleptTenths, 0);
    EXPECT_EQ(scene.resultFile(), "") << "the tool must not have run";
}

TEST_F(LinuxJobAsOrdinaryUser, DismissedDialogGivesZeroAtOnce)
{
    writeExecutable(scene.elevators + "/pkexec", "#!/bin/sh\nexit 126\n");
    const auto outcome = runAsOrdinaryUser(scene.elevators);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->result, 0);
    EXPECT_EQ(outcome->sleptTenths, 0) << "no wait after a dismissed dialog";
    EXPECT_EQ(scene.resultFile(), "");
}

TEST_F(LinuxJobAsOrdinaryUser, GrantedDialogStartsTheToolDetached)
{
    writeExecutable(scene.elevators + "/pkexec", "#!/bin/sh\nexec \"$@\"\n");
    const auto outcome = runAsOrdinaryUser("relative:" + scene.elevators);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->result, 2);
    scene.expectStartedDetached(m_uid);
}

TEST_F(LinuxJobAsOrdinaryUser, RealPkexecWithoutAnAgentGivesZeroAtOnce)
{
    if (!entryExists("/usr/bin/pkexec"))
        GTEST_SKIP() << "pkexec is not installed";
    if (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY"))
        GTEST_SKIP() << "a desktop session may answer with a real dialog";
    const auto outcome = runAsOrdinaryUser(LinuxJobPlatform::kSystemElevatorSearchPath);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->result, 0);
    EXPECT_EQ(outcome->sleptTenths, 0);
    EXPECT_EQ(scene.resultFile(), "");
}
