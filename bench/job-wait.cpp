// Measures the wait of authorizeHelperTool as the wizard runs it: from the
// moment the tool writes its verdict to the return, and the CPU time the
// waiting process spends. Needs root (the tool is started directly) and a
// machine without the product's machine-wide paths, as the real tool runs.
//
// The program copies itself into a temporary bundle beside a tool that waits
// a chosen time and then runs the real removal tool, and runs the production
// authorizeHelperTool from there, against a temporary home.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "AuthorizeHelperTool.h"

namespace fs = std::filesystem;

namespace {

// Verdict moments spread over the half-second schedule.
const double kToolDelays[]
    = { 0.05, 0.61, 1.07, 1.18, 1.29, 1.41, 1.53, 1.64, 1.76, 1.88, 1.99, 2.11, 2.23, 2.34, 2.46 };

double realSeconds()
{
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double cpuSeconds()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int measureInside(const std::string& work, const std::string& bundle)
{
    const std::string tool = bundle + "/Contents/MacOS/main";
    const std::string home = work + "/home";
    const std::string temporary = work + "/tmp";
    setenv("HOME", home.c_str(), 1);
    setenv("TMPDIR", temporary.c_str(), 1);

    // Verdicts written after the first test (1.0 s after the submission) show
    // the schedule's own delay; earlier ones wait for that first test.
    std::vector<double> latencies, earlyLatencies, cpuMs, wallSeconds;
    std::printf("delay(s)  result  wall(s)  verdict->return(ms)  cpu(ms)\n");
    for (double delay : kToolDelays) {
        fs::remove_all(home);
        fs::remove_all(temporary);
        fs::create_directories(home + "/Documents/Nordaxis");
        fs::create_directories(temporary);
        std::ofstream(home + "/Documents/Nordaxis/data.txt") << "x";
        std::ofstream(tool) << "#!/bin/sh\nsleep " << delay << "\nexec \"" << TW_REMOVAL_TOOL << "\" \"$@\"\n";
        fs::permissions(tool, fs::perms(0755));

        const double cpuBefore = cpuSeconds();
        const double start = realSeconds();
        const int result = authorizeHelperTool(6);
        const double end = realSeconds();
        const double cpu = cpuSeconds() - cpuBefore;

        std::string resultFile;
        for (const auto& entry : fs::directory_iterator(temporary))
            resultFile = entry.path().string();
        struct stat info;
        if (result != 2 || resultFile.empty() || stat(resultFile.c_str(), &info) != 0) {
            std::fprintf(stderr, "run failed: result %d\n", result);
            return 1;
        }
        // The tool writes the word into a fresh file and renames it into
        // place, so the file's modification time is the moment of writing.
        const double written
            = static_cast<double>(info.st_mtim.tv_sec) + static_cast<double>(info.st_mtim.tv_nsec) / 1e9;
        const double latency = (end - written) * 1000;
        (written - start > 1.0 ? latencies : earlyLatencies).push_back(latency);
        cpuMs.push_back(cpu * 1000);
        wallSeconds.push_back(end - start);
        std::printf("%8.2f  %6d  %7.3f  %19.1f  %7.2f\n", delay, result, end - start, latency, cpuMs.back());
    }
    double totalCpu = 0, totalWall = 0;
    for (std::size_t i = 0; i < cpuMs.size(); ++i) {
        totalCpu += cpuMs[i] / 1000;
        totalWall += wallSeconds[i];
    }
    if (!latencies.empty())
        std::printf("verdict after the first test -> return: median %.1f ms, max %.1f ms over %zu runs"
                    " (the schedule allows 500 ms + the read)\n",
            median(latencies), *std::max_element(latencies.begin(), latencies.end()), latencies.size());
    if (!earlyLatencies.empty())
        std::printf("verdict before the first test -> return: max %.1f ms over %zu runs (returns at the first test)\n",
            *std::max_element(earlyLatencies.begin(), earlyLatencies.end()), earlyLatencies.size());
    std::printf("cpu while waiting: median %.2f ms per run, %.3f%% of the wall time\n", median(cpuMs),
        100 * totalCpu / totalWall);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--inside")
        return measureInside(argv[2], argv[3]);

    if (geteuid() != 0) {
        std::fprintf(stderr, "needs root: the tool is started directly only by a root wizard\n");
        return 1;
    }
    for (const char* path : { "/Applications/Tallowmere 5.4.1", "/Library/Application Support/Nordaxis" }) {
        if (fs::exists(fs::symlink_status(path))) {
            std::fprintf(stderr, "%s exists here; the tool would remove it\n", path);
            return 1;
        }
    }
    char pattern[] = "/tmp/job-wait-bench.XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const std::string work = pattern;
    const std::string bundle = work + "/Bench.app";
    const std::string self = bundle + "/Contents/MacOS/job-wait-bench";
    fs::create_directories(bundle + "/Contents/MacOS");
    fs::copy_file("/proc/self/exe", self);
    fs::permissions(self, fs::perms(0755));

    const pid_t pid = fork();
    if (pid == 0) {
        execl(self.c_str(), self.c_str(), "--inside", work.c_str(), bundle.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 1;
    waitpid(pid, &status, 0);
    fs::remove_all(work);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
