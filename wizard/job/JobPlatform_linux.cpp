#include "JobPlatform_linux.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "Bundle.h"
#include "JobPause.h"
#include "JobPlatformToolCheck.h"
#include "JobRefusalLog.h"
#include "Paths.h"
#include "Utf8.h"

const char* const LinuxJobPlatform::kSystemElevatorSearchPath = "/usr/bin:/bin";
const char* const LinuxJobPlatform::kToolSearchPath = "/usr/bin:/bin:/usr/sbin:/sbin";
const char* const LinuxJobPlatform::kSharedTemporaryFolder = "/tmp";

namespace {

// A verdict is one short word; anything longer is no verdict, and a bound
// keeps a stray huge file from being read whole.
const std::size_t kMaxResultFileSize = 64 * 1024;

std::vector<char*> cArguments(const std::vector<std::string>& arguments)
{
    std::vector<char*> result;
    for (const std::string& argument : arguments)
        result.push_back(const_cast<char*>(argument.c_str()));
    result.push_back(nullptr);
    return result;
}

// Starts a program detached from the wizard: its own session, default signal
// handling, working folder "/", standard streams on /dev/null, no inherited
// descriptors, and nothing in the environment but PATH. Returns 0 or the
// error number.
int spawnDetached(const std::vector<std::string>& argv, pid_t* pid)
{
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);

    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, "/");
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

    sigset_t noSignals, allSignals;
    sigemptyset(&noSignals);
    sigfillset(&allSignals);
    posix_spawnattr_setsigmask(&attributes, &noSignals);
    posix_spawnattr_setsigdefault(&attributes, &allSignals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const std::string pathVariable = std::string("PATH=") + LinuxJobPlatform::kToolSearchPath;
    std::vector<char*> environment = { const_cast<char*>(pathVariable.c_str()), nullptr };
    std::vector<char*> arguments = cArguments(argv);
    const int error = posix_spawn(pid, arguments[0], &actions, &attributes, arguments.data(), environment.data());

    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

std::string findExecutable(const std::string& name, const std::string& searchPath)
{
    std::size_t start = 0;
    while (start <= searchPath.size()) {
        std::size_t end = searchPath.find(':', start);
        if (end == std::string::npos)
            end = searchPath.size();
        const std::string folder = searchPath.substr(start, end - start);
        start = end + 1;
        if (folder.empty() || folder.front() != '/')
            continue; // a relative entry would depend on the working folder
        const std::string candidate = folder + "/" + name;
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::string();
}

// A folder, not a link, of this user's alone.
bool isPrivateFolder(const char* path)
{
    struct stat info;
    return path[0] == '/' && lstat(path, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid()
        && (info.st_mode & 07777) == 0700;
}

// The verdict counts only from a regular file of root's (the tool's user) or
// of the wizard's own user, whose processes could change the wizard anyway;
// another user may have put anything else at a path in a shared folder.
bool isVerdictFile(const struct stat& info)
{
    return S_ISREG(info.st_mode) && (info.st_uid == 0 || info.st_uid == getuid());
}

} // namespace

LinuxJobPlatform::LinuxJobPlatform(
    std::string bundlePath, std::string elevatorSearchPath, std::string sharedTemporaryFolder)
    : m_bundlePath(std::move(bundlePath))
    , m_elevatorSearchPath(std::move(elevatorSearchPath))
    , m_sharedTemporaryFolder(std::move(sharedTemporaryFolder))
{
}

bool LinuxJobPlatform::authorize()
{
    // pkexec asks for consent and runs one program in one step, so for an
    // ordinary user the dialog comes with the submission; here it only has to
    // be possible. Refusal there still ends the run before anything started.
    m_elevator.clear();
    if (geteuid() == 0) {
        m_route = Route::Direct;
        return true;
    }
    m_elevator = findExecutable("pkexec", m_elevatorSearchPath);
    m_route = m_elevator.empty() ? Route::None : Route::Elevated;
    return m_route != Route::None;
}

void LinuxJobPlatform::removeJob(const std::string& label)
{
    // Nothing on Linux keeps a job registered: a job is a process this object
    // started, and once it has ended nothing of it is left in the system. What
    // an earlier job leaves is this object's record of it, which must not be
    // taken for the state of the next one, so the record goes (and an ended
    // process is reaped). A tool that still runs is not stopped: cutting its
    // removal short would leave the product half removed.
    if (!m_job || m_job->label != label)
        return;
    if (!m_job->ended && m_job->pid > 0)
        waitpid(m_job->pid, nullptr, WNOHANG);
    m_job.reset();
}

bool LinuxJobPlatform::submitJob(const JobDescription& job)
{
    if (job.programArguments.empty())
        return false;
    if (m_route == Route::None) {
        logJobRefusal("job refused: no administrator rights (pkexec missing or not authorized)");
        return false;
    }
    // Whoever could swap the tool would get root: only a tool that none but
    // root and this user can change is run, else the run ends as refused.
    if (std::string why; !isToolOnlyChangeableBy(job.programArguments.front(), getuid(), std::nullopt, &why)) {
        logJobRefusal("tool check refused " + job.programArguments.front() + ": " + why);
        return false;
    }
    m_job.reset();
    StartedJob started;
    started.label = job.label;
    started.elevated = m_route == Route::Elevated;
    if (started.elevated) {
        // pkexec runs the tool itself, so that its dialog names the tool (or
        // the tool's own polkit action); it asks while the wizard waits.
        std::vector<std::string> argv = { m_elevator };
        argv.insert(argv.end(), job.programArguments.begin(), job.programArguments.end());
        if (const int error = spawnDetached(argv, &started.pid); error != 0) {
            logJobRefusal("could not start " + m_elevator + ": " + std::strerror(error));
            return false;
        }
    } else if (spawnDetached(job.programArguments, &started.pid) != 0) {
        // Accepted but not startable (missing, not executable): as with a
        // service manager, the job exists and has ended without a word.
        started.ended = true;
    }
    m_route = Route::None; // the rights are spent on this one job
    m_job = started;
    return true;
}

JobState LinuxJobPlatform::jobState(const std::string& label)
{
    if (!m_job || m_job->label != label)
        return JobState::Unknown;
    if (m_job->ended)
        return m_job->refused ? JobState::Refused : JobState::Ended;
    int status = 0;
    const pid_t reaped = waitpid(m_job->pid, &status, WNOHANG);
    if (reaped == m_job->pid || (reaped < 0 && errno == ECHILD)) {
        m_job->ended = true;
        // The tool always ends with 0; pkexec ends with 126 when the dialog
        // was dismissed and 127 when authorisation failed or could not be
        // asked for.
        m_job->refused = m_job->elevated && reaped == m_job->pid && WIFEXITED(status)
            && (WEXITSTATUS(status) == 126 || WEXITSTATUS(status) == 127);
        return m_job->refused ? JobState::Refused : JobState::Ended;
    }
    return reaped == 0 ? JobState::Running : JobState::Unknown;
}

std::string LinuxJobPlatform::mainBundlePath()
{
    return m_bundlePath;
}

std::string LinuxJobPlatform::homeFolder()
{
    return NDUtilities::withoutTrailingSeparators(NDUtilities::Paths::homePath().string());
}

std::string LinuxJobPlatform::temporaryFolder()
{
    // The user's TMPDIR or runtime folder, when it is private to the user as
    // the temporary folder on macOS is. A shared one (TMPDIR=/tmp; sudo drops
    // the runtime folder, some users have none) gets a folder of the user's
    // own made inside it: a name there that others can read in the tool's
    // command line, they could take first, with a file of their verdict, a
    // folder or a mount that never answers.
    std::string folder;
    if (const char* variable = std::getenv("TMPDIR"); variable && variable[0] == '/') {
        if (!isPrivateFolder(variable))
            return privateTemporaryFolder(variable);
        folder = variable;
    } else if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && isPrivateFolder(runtime)) {
        folder = runtime;
    } else {
        return privateTemporaryFolder(m_sharedTemporaryFolder);
    }
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

std::string LinuxJobPlatform::privateTemporaryFolder(std::string shared)
{
    while (shared.size() > 1 && shared.back() == '/')
        shared.pop_back();
    if (!m_madeTemporaryFolder.empty()) {
        const std::string made = m_madeTemporaryFolder.substr(0, m_madeTemporaryFolder.size() - 1);
        const bool madeThere = made.compare(0, shared.size() + 1, shared + "/") == 0
            || made.compare(0, m_sharedTemporaryFolder.size() + 1, m_sharedTemporaryFolder + "/") == 0;
        if (madeThere && isPrivateFolder(made.c_str()))
            return m_madeTemporaryFolder;
    }
    // mkdtemp makes the folder exclusively, with mode 0700, for this user.
    for (const std::string& base : { shared, m_sharedTemporaryFolder }) {
        std::string pattern = base + "/tallowmere-uninstall-XXXXXX";
        if (mkdtemp(pattern.data())) {
            m_madeTemporaryFolder = pattern + "/";
            return m_madeTemporaryFolder;
        }
    }
    return std::string(); // the shared folder it is, as when there is nothing at all
}

std::int32_t LinuxJobPlatform::randomNumber()
{
    std::uint32_t value = 0;
    ssize_t got;
    do {
        got = getrandom(&value, sizeof value, 0);
    } while (got < 0 && errno == EINTR);
    if (got != static_cast<ssize_t>(sizeof value))
        value = std::random_device()();
    return static_cast<std::int32_t>(value);
}

void LinuxJobPlatform::sleep(double seconds)
{
    if (seconds > 0 && !pauseInsteadOfSleeping(seconds))
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

double LinuxJobPlatform::monotonicSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool LinuxJobPlatform::fileExists(const std::string& path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && isVerdictFile(info);
}

std::optional<std::string> LinuxJobPlatform::readText(const std::string& path)
{
    // Non-blocking open: a FIFO put at the path must not hang the wizard.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0)
        return std::nullopt;
    struct stat info;
    std::string text;
    bool ok = fstat(fd, &info) == 0 && isVerdictFile(info);
    char buffer[4096];
    while (ok) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
        ok = text.size() <= kMaxResultFileSize;
    }
    close(fd);
    if (!ok || !isValidUtf8(text))
        return std::nullopt;
    return text;
}

std::unique_ptr<JobPlatform> makeJobPlatform()
{
    // Read at call time, so that a wizard moved with its bundle still finds
    // the tool beside itself.
    return std::make_unique<LinuxJobPlatform>(
        Bundle::mainBundle().rootPath(), LinuxJobPlatform::kSystemElevatorSearchPath);
}
