#pragma once

#include <cstdint>
#include <string>

#include "JobPlatform.h"
#include "RemovalJobResult.h"

// The job carries the tool's file name as its label.
extern const char* const kJobLabel;
extern const char* const kToolName;

// The schedule of the wait for the tool's verdict, in seconds.
extern const double kFirstTestDelay;
extern const double kTestInterval;
// A last guard for a platform that cannot tell when the tool has ended.
extern const double kWaitBound;
// How long an accepted job may show no process before it counts as ended.
extern const double kStartBound;

std::string toolPath(const std::string& bundlePath);
// Temporary folder (or "/tmp/" when there is none), the number, ".log".
std::string resultFilePath(const std::string& temporaryFolder, std::int32_t number);
JobDescription describeJob(
    const std::string& toolPath, int choiceMask, const std::string& home, const std::string& resultPath);

// Waits for the verdict of the submitted job: NotAuthorized when the job was
// refused its rights, else Failed or Succeeded. `submittedAt` is the
// platform's monotonic time of the submission.
RemovalJobResult waitForVerdict(JobPlatform& platform, const std::string& resultPath, double submittedAt);

// The whole run: authorise, replace the earlier job, submit, wait.
RemovalJobResult runPrivilegedJob(JobPlatform& platform, int choiceMask);
