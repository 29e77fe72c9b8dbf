#include "PrivilegedJob.h"

#include "ToolInterface.h"

const char* const kJobLabel = "main";
const char* const kToolName = "main";

const double kFirstTestDelay = 1.0;
const double kTestInterval = 0.5;
const double kWaitBound = 60 * 60;
const double kStartBound = 30;

namespace {

const char* const kFallbackTemporaryFolder = "/tmp/";

enum class Reading {
    Success,
    Failure,
    NoVerdictYet,
};

// The tool first creates the result file empty and then replaces it with the
// word, so an empty file only means that the verdict is on its way.
Reading readVerdict(JobPlatform& platform, const std::string& resultPath)
{
    if (!platform.fileExists(resultPath))
        return Reading::NoVerdictYet;
    const std::optional<std::string> text = platform.readText(resultPath);
    if (!text)
        return Reading::Failure;
    if (text->empty())
        return Reading::NoVerdictYet;
    return *text == remover::kVerdictSuccess ? Reading::Success : Reading::Failure;
}

} // namespace

std::string toolPath(const std::string& bundlePath)
{
    return bundlePath + "/Contents/MacOS/" + kToolName;
}

std::string resultFilePath(const std::string& temporaryFolder, std::int32_t number)
{
    const std::string folder = temporaryFolder.empty() ? kFallbackTemporaryFolder : temporaryFolder;
    return folder + std::to_string(number) + ".log";
}

JobDescription describeJob(
    const std::string& toolPath, int choiceMask, const std::string& home, const std::string& resultPath)
{
    JobDescription job;
    job.label = kJobLabel;
    job.runAtLoad = true;
    job.programArguments.resize(remover::ToolArgumentCount);
    job.programArguments[0] = toolPath;
    job.programArguments[remover::ChoiceMaskArgument] = std::to_string(choiceMask);
    job.programArguments[remover::HomeFolderArgument] = home;
    job.programArguments[remover::ResultFileArgument] = resultPath;
    return job;
}

RemovalJobResult waitForVerdict(JobPlatform& platform, const std::string& resultPath, double submittedAt)
{
    platform.sleep(kFirstTestDelay);
    bool seenRunning = false;
    for (;;) {
        // Asked before the file is read: once the job is seen to have ended,
        // the read that follows is the tool's last word.
        const JobState state = platform.jobState(kJobLabel);
        if (state == JobState::Refused)
            return RemovalJobResult::NotAuthorized;
        const bool ended = state == JobState::Ended || (state == JobState::NotStarted && seenRunning);
        seenRunning = seenRunning || state == JobState::Running;
        switch (readVerdict(platform, resultPath)) {
        case Reading::Success:
            return RemovalJobResult::Succeeded;
        case Reading::Failure:
            return RemovalJobResult::Failed;
        case Reading::NoVerdictYet:
            break;
        }
        if (ended)
            return RemovalJobResult::Failed;
        // A job that the service manager accepted but whose process it never
        // started (an exec it refused) will write nothing.
        if (!seenRunning && state == JobState::NotStarted && platform.monotonicSeconds() - submittedAt >= kStartBound)
            return RemovalJobResult::Failed;
        if (platform.monotonicSeconds() - submittedAt >= kWaitBound)
            return RemovalJobResult::Failed;
        platform.sleep(kTestInterval);
    }
}

RemovalJobResult runPrivilegedJob(JobPlatform& platform, int choiceMask)
{
    if (!platform.authorize())
        return RemovalJobResult::NotAuthorized;
    platform.removeJob(kJobLabel);

    const std::string tool = toolPath(platform.mainBundlePath());
    const std::string home = platform.homeFolder();
    // The number is drawn before the temporary folder is asked for.
    const std::int32_t number = platform.randomNumber();
    const std::string resultPath = resultFilePath(platform.temporaryFolder(), number);
    if (!platform.submitJob(describeJob(tool, choiceMask, home, resultPath)))
        return RemovalJobResult::NotAuthorized;
    return waitForVerdict(platform, resultPath, platform.monotonicSeconds());
}
