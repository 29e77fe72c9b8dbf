// The job's run over a scripted platform whose clock moves only when the run
// sleeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "PrivilegedJob.h"

using namespace privilegedjob;

namespace {

struct FileStep {
    enum Kind { Absent, Text, Unreadable };
    double at;  // seconds after the submission
    Kind kind;
    std::string text;
};

class ScriptedPlatform : public JobPlatform {
public:
    bool grants = true;
    bool accepts = true;
    std::string bundle = "/Applications/Utilities/Uninstall.app";
    std::string home = "/Users/ann";
    std::string temporary = "/var/folders/xy/T/";
    std::int32_t number = 12345;
    std::vector<FileStep> file;       // the result file over time, later steps win
    std::optional<double> jobEndsAt;  // after the submission
    bool stateKnown = true;
    // The tool writes "success" and ends right after this many probes
    // (existence tests and state queries) have been answered.
    std::optional<int> succeedAndEndAfterProbe;

    std::vector<std::string> calls;
    std::optional<JobDescription> submitted;
    std::vector<double> fileTests;  // after the submission
    double now = 500.0;
    double submittedAt = -1;

    double sinceSubmission() const { return now - submittedAt; }

    bool authorize() override
    {
        calls.push_back("authorize");
        return grants;
    }
    void removeJob(const std::string& label) override { calls.push_back("removeJob " + label); }
    bool submitJob(const JobDescription& job) override
    {
        calls.push_back("submitJob");
        submitted = job;
        submittedAt = now;
        return accepts;
    }
    JobState jobState(const std::string& label) override
    {
        calls.push_back("jobState " + label);
        JobState state = JobState::Unknown;
        if (stateKnown)
            state = jobEndsAt && sinceSubmission() >= *jobEndsAt ? JobState::Ended : JobState::Running;
        probed();
        return state;
    }
    std::string mainBundlePath() override
    {
        calls.push_back("mainBundlePath");
        return bundle;
    }
    std::string homeFolder() override
    {
        calls.push_back("homeFolder");
        return home;
    }
    std::string temporaryFolder() override
    {
        calls.push_back("temporaryFolder");
        return temporary;
    }
    std::int32_t randomNumber() override
    {
        calls.push_back("randomNumber");
        return number;
    }
    void sleep(double seconds) override { now += seconds; }
    double monotonicSeconds() override { return now; }
    bool fileExists(const std::string& path) override
    {
        fileTests.push_back(sinceSubmission());
        const bool exists = isResultFile(path) && current().kind != FileStep::Absent;
        probed();
        return exists;
    }
    std::optional<std::string> readText(const std::string& path) override
    {
        const FileStep step = current();
        if (!isResultFile(path) || step.kind != FileStep::Text)
            return std::nullopt;
        return step.text;
    }

private:
    void probed()
    {
        if (succeedAndEndAfterProbe && --*succeedAndEndAfterProbe == 0) {
            file = {{0, FileStep::Text, "success"}};
            jobEndsAt = 0;
        }
    }
    bool isResultFile(const std::string& path) const
    {
        return submitted && path == submitted->programArguments.back();
    }
    FileStep current() const
    {
        FileStep state{0, FileStep::Absent, ""};
        for (const FileStep& step : file) {
            if (submittedAt >= 0 && sinceSubmission() >= step.at)
                state = step;
        }
        return state;
    }
};

FileStep text(double at, const std::string& word)
{
    return {at, FileStep::Text, word};
}

}  // namespace

TEST(PrivilegedJobRun, RefusalBeforeTheWaitGivesZeroAtOnce)
{
    ScriptedPlatform refused;
    refused.grants = false;
    EXPECT_EQ(runPrivilegedJob(refused, 6), 0);
    EXPECT_EQ(refused.calls, std::vector<std::string>{"authorize"}) << "no job may be touched";

    ScriptedPlatform rejected;
    rejected.accepts = false;
    const double start = rejected.now;
    EXPECT_EQ(runPrivilegedJob(rejected, 6), 0);
    EXPECT_LT(rejected.now - start, 0.001) << "no wait after a refused submission";
}

TEST(PrivilegedJobRun, ReplacesTheEarlierJobWithTheDescribedOne)
{
    ScriptedPlatform platform;
    platform.file = {text(0.1, "success")};
    EXPECT_EQ(runPrivilegedJob(platform, 6), 2);

    const auto position = [&](const std::string& call) {
        return std::find(platform.calls.begin(), platform.calls.end(), call) - platform.calls.begin();
    };
    EXPECT_EQ(position("authorize"), 0);
    EXPECT_LT(position("removeJob main"), position("submitJob"));
    EXPECT_LT(position("randomNumber"), position("temporaryFolder"));
    ASSERT_TRUE(platform.submitted);
    EXPECT_EQ(platform.submitted->label, "main");
    EXPECT_TRUE(platform.submitted->runAtLoad);
    EXPECT_EQ(platform.submitted->programArguments,
              (std::vector<std::string>{"/Applications/Utilities/Uninstall.app/Contents/MacOS/main", "6",
                                        "/Users/ann", "/var/folders/xy/T/12345.log"}));
}

TEST(PrivilegedJobRun, MaskAndResultFileNameInTheArguments)
{
    ScriptedPlatform platform;
    platform.number = -7;
    platform.temporary = "";
    platform.jobEndsAt = 0.0;
    runPrivilegedJob(platform, 0);
    ASSERT_TRUE(platform.submitted);
    EXPECT_EQ(platform.submitted->programArguments[1], "0");
    EXPECT_EQ(platform.submitted->programArguments[3], "/tmp/-7.log");

    EXPECT_EQ(resultFilePath("/tmp/", INT32_MIN), "/tmp/-2147483648.log");
    EXPECT_EQ(resultFilePath("/tmp/", INT32_MAX), "/tmp/2147483647.log");
    EXPECT_EQ(describeJob("/t", -1, "/h", "/r").programArguments[1], "-1");
}

TEST(PrivilegedJobRun, OnlyTheExactWordIsSuccess)
{
    const struct {
        FileStep step;
        int expected;
    } cases[] = {
        {text(0.2, "success"), 2},
        {text(0.2, "failed"), 1},
        {text(0.2, "success\n"), 1},
        {text(0.2, "Success"), 1},
        {text(0.2, " success"), 1},
        {text(0.2, std::string("success\0", 8)), 1},
        {{0.2, FileStep::Unreadable, ""}, 1},
    };
    for (const auto& c : cases) {
        ScriptedPlatform platform;
        platform.file = {c.step};
        platform.jobEndsAt = 0.3;
        EXPECT_EQ(runPrivilegedJob(platform, 6), c.expected) << c.step.text;
        EXPECT_GE(platform.sinceSubmission(), kFirstTestDelay) << "verdict taken before the first test";
        EXPECT_LT(platform.sinceSubmission(), kFirstTestDelay + 0.01) << "a verdict should end the wait";
    }
}

TEST(PrivilegedJobRun, EmptyFileMeansTheVerdictIsOnItsWay)
{
    ScriptedPlatform platform;
    platform.file = {text(0.3, ""), text(2.2, "success")};
    EXPECT_EQ(runPrivilegedJob(platform, 6), 2);
    EXPECT_NEAR(platform.sinceSubmission(), 2.5, 0.01);

    ScriptedPlatform stuck;
    stuck.file = {text(0.3, "")};
    stuck.jobEndsAt = 1.7;
    EXPECT_EQ(runPrivilegedJob(stuck, 6), 1) << "an empty file after the tool ended is a failure";
    EXPECT_NEAR(stuck.sinceSubmission(), 2.0, 0.01);
}

TEST(PrivilegedJobRun, ToolThatNeverWritesEndsTheWaitOnTheSchedule)
{
    ScriptedPlatform platform;
    platform.jobEndsAt = 2.6;
    EXPECT_EQ(runPrivilegedJob(platform, 6), 1);
    ASSERT_EQ(platform.fileTests.size(), 5u);
    for (std::size_t i = 0; i < platform.fileTests.size(); ++i)
        EXPECT_NEAR(platform.fileTests[i], 1.0 + 0.5 * static_cast<double>(i), 0.001) << "test " << i;
}

TEST(PrivilegedJobRun, VerdictWrittenJustBeforeTheToolEndsCounts)
{
    // The tool writes and ends between the two probes of the second round of
    // tests: seeing it ended must not hide the verdict that came before.
    ScriptedPlatform platform;
    platform.succeedAndEndAfterProbe = 3;
    EXPECT_EQ(runPrivilegedJob(platform, 6), 2);
}

TEST(PrivilegedJobRun, BoundEndsAWaitForAJobOfUnknownState)
{
    ScriptedPlatform platform;
    platform.stateKnown = false;
    EXPECT_EQ(runPrivilegedJob(platform, 6), 1);
    EXPECT_GE(platform.sinceSubmission(), kWaitBound);
    EXPECT_LT(platform.sinceSubmission(), kWaitBound + kTestInterval + 0.1);
}
