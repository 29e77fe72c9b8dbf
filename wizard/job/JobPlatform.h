#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What the service manager is asked to run: a one-shot job in the system
// domain, started as root as soon as it is accepted.
struct JobDescription {
    std::string label;
    bool runAtLoad = true;
    std::vector<std::string> programArguments; // program path first
};

enum class JobState {
    // Accepted, but no process to be seen. A platform that keeps no trace of
    // an ended process says this after the end too; the wait then counts the
    // job as ended once it has seen it running.
    NotStarted,
    Running,
    Ended, // its process has gone; it will write nothing more
    Refused, // the rights were refused when it was to start; it never ran
    Unknown, // the platform cannot tell
};

// The platform operations the privileged removal job needs. Everything else
// of the job (its description, the result file name, the wait, the verdict)
// is portable and lives in PrivilegedJob.h.
class JobPlatform {
public:
    virtual ~JobPlatform() = default;

    // Asks the user for administrator rights; true when they are granted.
    virtual bool authorize() = 0;
    // Removes an earlier job of that label; the outcome does not matter.
    virtual void removeJob(const std::string& label) = 0;
    // True when the job was accepted and is being started. The rights are
    // not needed afterwards.
    virtual bool submitJob(const JobDescription& job) = 0;
    virtual JobState jobState(const std::string& label) = 0;

    // The root folder of the running application bundle.
    virtual std::string mainBundlePath() = 0;
    // Absolute, without a trailing separator.
    virtual std::string homeFolder() = 0;
    // With a trailing separator; empty when the platform has none.
    virtual std::string temporaryFolder() = 0;
    virtual std::int32_t randomNumber() = 0;

    virtual void sleep(double seconds) = 0;
    // Seconds on a clock that only moves forward; the origin is arbitrary.
    virtual double monotonicSeconds() = 0;

    // Symbolic links followed. A platform may be stricter about what counts
    // as the tool's result file and answer false for anything else there.
    virtual bool fileExists(const std::string& path) = 0;
    // The whole file as UTF-8 text; no value when it cannot be read or is not
    // valid UTF-8.
    virtual std::optional<std::string> readText(const std::string& path) = 0;
};

// The platform this program runs on, for the running application bundle.
std::unique_ptr<JobPlatform> makeJobPlatform();
