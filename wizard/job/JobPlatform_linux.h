#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "JobPlatform.h"

// Linux stands in for the macOS service manager: the tool is started as a
// detached root process, directly when the wizard is root and through polkit's
// pkexec (the desktop's own administrator dialog) otherwise.
class LinuxJobPlatform : public JobPlatform {
public:
    // Where production looks for pkexec; the folders of the system, never the
    // user's PATH, since it is handed root rights.
    static const char* const kSystemElevatorSearchPath;
    // The one environment variable the tool is started with.
    static const char* const kToolSearchPath;

    // Where a private temporary folder is made when the environment names none.
    static const char* const kSharedTemporaryFolder;

    // `elevatorSearchPath`: colon-separated folders to find pkexec in.
    // `sharedTemporaryFolder`: where the private temporary folder is made.
    LinuxJobPlatform(std::string bundlePath, std::string elevatorSearchPath,
        std::string sharedTemporaryFolder = kSharedTemporaryFolder);

    bool authorize() override;
    void removeJob(const std::string& label) override;
    bool submitJob(const JobDescription& job) override;
    JobState jobState(const std::string& label) override;

    std::string mainBundlePath() override;
    std::string homeFolder() override;
    std::string temporaryFolder() override;
    std::int32_t randomNumber() override;

    void sleep(double seconds) override;
    double monotonicSeconds() override;

    bool fileExists(const std::string& path) override;
    std::optional<std::string> readText(const std::string& path) override;

private:
    enum class Route {
        None, // not authorised
        Direct, // the wizard is root already
        Elevated, // through pkexec
    };
    struct StartedJob {
        std::string label;
        pid_t pid = -1;
        bool elevated = false; // started through pkexec
        bool ended = false;
        bool refused = false;
    };

    // A folder of this user's alone, made once in `shared` (failing that, in the
    // shared temporary folder).
    std::string privateTemporaryFolder(std::string shared);

    std::string m_bundlePath;
    std::string m_elevatorSearchPath;
    std::string m_sharedTemporaryFolder;
    std::string m_madeTemporaryFolder; // made by this object, with a trailing separator
    Route m_route = Route::None;
    std::string m_elevator;
    std::optional<StartedJob> m_job;
};
