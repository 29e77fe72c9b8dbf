// The job's run over a scripted platform whose clock moves only when the run
// sleeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "PrivilegedJob.h"

namespace {

struct FileStep {
    double at; // seconds after the submission
    std::optional<std::string> text; // empty: the file cannot be read
};

struct ScriptedPlatform : JobPlatform {
    bool grants = true, accepts = true, stateKnown = true;
    std::string temporary = "/var/folders/xy/T/";
    std::int32_t number = 12345;
    std::vector<FileStep> file; // absent before the first step
    std::optional<double> jobStartsAt; // before it: accepted, no process yet
    std::optional<double> jobEndsAt; // after the submission
    // As launchd after an exit status of 0: an ended job looks like one that
    // has not started.
    bool endLeavesNoTrace = false;
    // The tool writes "success" and ends once this many probes (existence
    // tests and state queries) have been answered.
    int succeedAndEndAfterProbe = -1;

    std::vector<std::string> calls;
    std::optional<JobDescription> submitted;
    std::vector<double> fileTests;
    double now = 500, submittedAt = -1;

    double elapsed() const { return now - submittedAt; }
    const FileStep* current() const
    {
        const FileStep* found = nullptr;
        for (const FileStep& step : file)
            found = submittedAt >= 0 && elapsed() >= step.at ? &step : found;
        return found;
    }
    void probed()
    {
        if (--succeedAndEndAfterProbe == 0) {
            file = { { 0, "success" } };
            jobEndsAt = 0;
        }
    }

    bool authorize() override { return calls.push_back("authorize"), grants; }
    void removeJob(const std::string& label) override { calls.push_back("removeJob " + label); }
    bool submitJob(const JobDescription& job) override
    {
        calls.push_back("submitJob");
        submitted = job;
        submittedAt = now;
        return accepts;
    }
    JobState jobState(const std::string&) override
    {
        JobState state;
        if (!stateKnown)
            state = JobState::Unknown;
        else if (jobEndsAt && elapsed() >= *jobEndsAt)
            state = endLeavesNoTrace ? JobState::NotStarted : JobState::Ended;
        else if (jobStartsAt && elapsed() < *jobStartsAt)
            state = JobState::NotStarted;
        else
            state = JobState::Running;
        probed();
        return state;
    }
    std::string mainBundlePath() override { return "/Applications/Uninstall.app"; }
    std::string homeFolder() override { return "/Users/ann"; }
    std::string temporaryFolder() override { return calls.push_back("temporaryFolder"), temporary; }
    std::int32_t randomNumber() override { return calls.push_back("randomNumber"), number; }
    void sleep(double seconds) override { now += seconds; }
    double monotonicSeconds() override { return now; }
    bool fileExists(const std::string& path) override
    {
        fileTests.push_back(elapsed());
        const bool exists = path == submitted->programArguments[3] && current();
        probed();
        return exists;
    }
    std::optional<std::string> readText(const std::string&) override { return current()->text; }
};

} // namespace

TEST(PrivilegedJobRun, RefusalBeforeTheWaitGivesZeroAtOnce)
{
    ScriptedPlatform refused;
    refused.grants = false;
    EXPECT_EQ(runPrivilegedJob(refused, 6), RemovalJobResult::NotAuthorized);
    EXPECT_EQ(refused.calls, std::vector<std::string> { "authorize" }) << "no job may be touched";

    ScriptedPlatform rejected;
    rejected.accepts = false;
    EXPECT_EQ(runPrivilegedJob(rejected, 6), RemovalJobResult::NotAuthorized);
    EXPECT_EQ(rejected.now, 500) << "no wait after a refused submission";
}

TEST(PrivilegedJobRun, ReplacesTheEarlierJobWithTheDescribedOne)
{
    ScriptedPlatform platform;
    platform.file = { { 0.1, "success" } };
    EXPECT_EQ(runPrivilegedJob(platform, 6), RemovalJobResult::Succeeded);
    const auto position = [&](const char* call) {
        return std::find(platform.calls.begin(), platform.calls.end(), call) - platform.calls.begin();
    };
    EXPECT_LT(position("removeJob main"), position("submitJob"));
    EXPECT_LT(position("randomNumber"), position("temporaryFolder"));
    EXPECT_EQ(platform.submitted->label, "main");
    EXPECT_TRUE(platform.submitted->runAtLoad);
    EXPECT_EQ(platform.submitted->programArguments,
        (std::vector<std::string> {
            "/Applications/Uninstall.app/Contents/MacOS/main", "6", "/Users/ann", "/var/folders/xy/T/12345.log" }));

    ScriptedPlatform bare;
    bare.number = -7;
    bare.temporary = "";
    bare.jobEndsAt = 0;
    runPrivilegedJob(bare, 0);
    EXPECT_EQ(bare.submitted->programArguments[1], "0");
    EXPECT_EQ(bare.submitted->programArguments[3], "/tmp/-7.log");
    EXPECT_EQ(resultFilePath("/tmp/", INT32_MIN), "/tmp/-2147483648.log");
}

TEST(PrivilegedJobRun, OnlyTheExactWordIsSuccess)
{
    const RemovalJobResult failed = RemovalJobResult::Failed;
    const std::pair<std::optional<std::string>, RemovalJobResult> cases[] = {
        { "success", RemovalJobResult::Succeeded },
        { "failed", failed },
        { "success\n", failed },
        { "Success", failed },
        { " success", failed },
        { std::string("success\0", 8), failed },
        { std::nullopt, failed },
    };
    for (const auto& [text, expected] : cases) {
        ScriptedPlatform platform;
        platform.file = { { 0.2, text } };
        platform.jobEndsAt = 0.3;
        EXPECT_EQ(runPrivilegedJob(platform, 6), expected) << text.value_or("(unreadable)");
        EXPECT_EQ(platform.elapsed(), kFirstTestDelay) << "the verdict counts from the first test on";
    }
}

TEST(PrivilegedJobRun, EmptyFileMeansTheVerdictIsOnItsWay)
{
    ScriptedPlatform platform;
    platform.file = { { 0.3, "" }, { 2.2, "success" } };
    EXPECT_EQ(runPrivilegedJob(platform, 6), RemovalJobResult::Succeeded);
    EXPECT_EQ(platform.elapsed(), 2.5);

    ScriptedPlatform stuck;
    stuck.file = { { 0.3, "" } };
    stuck.jobEndsAt = 1.7;
    EXPECT_EQ(runPrivilegedJob(stuck, 6), RemovalJobResult::Failed)
        << "an empty file after the tool ended is a failure";
    EXPECT_EQ(stuck.elapsed(), 2.0);
}

TEST(PrivilegedJobRun, ToolThatNeverWritesEndsTheWaitOnTheSchedule)
{
    ScriptedPlatform platform;
    platform.jobEndsAt = 2.6;
    EXPECT_EQ(runPrivilegedJob(platform, 6), RemovalJobResult::Failed);
    EXPECT_EQ(platform.fileTests, (std::vector<double> { 1.0, 1.5, 2.0, 2.5, 3.0 }));
}

TEST(PrivilegedJobRun, VerdictWrittenJustBeforeTheToolEndsCounts)
{
    // The tool writes and ends between the two probes of the second round:
    // seeing it ended must not hide the verdict that came just before.
    ScriptedPlatform platform;
    platform.succeedAndEndAfterProbe = 3;
    EXPECT_EQ(runPrivilegedJob(platform, 6), RemovalJobResult::Succeeded);
}

TEST(PrivilegedJobRun, BoundEndsAWaitForAJobOfUnknownState)
{
    ScriptedPlatform platform;
    platform.stateKnown = false;
    EXPECT_EQ(runPrivilegedJob(platform, 6), RemovalJobResult::Failed);
    EXPECT_GE(platform.elapsed(), kWaitBound);
    EXPECT_LE(platform.elapsed(), kWaitBound + kTestInterval);
}

TEST(PrivilegedJobRun, AcceptedJobWithoutProcessHasNotEnded)
{
    // Probes come at 1.0, 1.5, 2.0, ... seconds after the submission.
    struct Case {
        const char* what;
        double startsAt;
        std::optional<double> endsAt;
        bool endLeavesNoTrace;
        std::vector<FileStep> file;
        RemovalJobResult result;
        double elapsed;
    };
    const RemovalJobResult failed = RemovalJobResult::Failed;
    const RemovalJobResult succeeded = RemovalJobResult::Succeeded;
    const Case cases[] = {
        { "starts late, ends silently without a verdict", 2.2, 3.1, true, {}, failed, 3.5 },
        { "starts late, writes success", 2.2, 3.1, true, { { 2.9, "success" } }, succeeded, 3.0 },
        { "starts and ends between two probes, verdict written", 2.1, 2.4, true, { { 2.3, "success" } }, succeeded,
            2.5 },
        { "ends with a trace before it was seen running", 1.1, 1.3, false, {}, failed, 1.5 },
        { "never starts", kWaitBound * 2, std::nullopt, true, {}, failed, kStartBound },
        { "starts just before the start bound, writes success", kStartBound - 0.2, kStartBound + 5, true,
            { { kStartBound + 4, "success" } }, succeeded, kStartBound + 4.0 },
    };
    for (const Case& c : cases) {
        ScriptedPlatform platform;
        platform.jobStartsAt = c.startsAt;
        platform.jobEndsAt = c.endsAt;
        platform.endLeavesNoTrace = c.endLeavesNoTrace;
        platform.file = c.file;
        EXPECT_EQ(runPrivilegedJob(platform, 6), c.result) << c.what;
        EXPECT_EQ(platform.elapsed(), c.elapsed) << c.what;
    }
}
