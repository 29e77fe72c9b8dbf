// Time from the start of the wizard program to its first page painted, and
// the program's peak memory, over repeated runs:
//
//   wizard_startup_bench [runs]
//
// Each run starts this program anew as a child process, which does what the
// wizard's main does (QApplication, the wizard, show, the event loop) and
// reports the moment the welcome page's last label has painted. The clock is
// CLOCK_MONOTONIC, read by the parent just before fork and by the child at
// the paint, so the figure includes exec, loading the libraries and Qt's
// start. Run it on the offscreen platform (QT_QPA_PLATFORM=offscreen).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "AuthorizeHelperTool.h"
#include "TallowmereRunning.h"
#include "UninstallWizard.h"

namespace {

long long nowNanoseconds()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

class FirstPaint : public QObject {
public:
    explicit FirstPaint(long long start)
        : m_start(start)
    {
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            std::printf("%lld\n", nowNanoseconds() - m_start);
            std::fflush(stdout);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    long long m_start;
    bool m_seen = false;
};

int child(long long start, int argc, char** argv)
{
    QApplication application(argc, argv);
    UninstallWizard wizard(authorizeHelperTool, checkIfTallowmereIsRunning);
    // The welcome page's labels paint after the page, the last one last.
    FirstPaint firstPaint(start);
    const QList<QLabel*> labels = wizard.page(0)->findChildren<QLabel*>();
    if (labels.isEmpty())
        return 1;
    labels.back()->installEventFilter(&firstPaint);
    wizard.show();
    return application.exec();
}

struct Run {
    double milliseconds;
    long peakKilobytes;
};

bool runOnce(Run* run)
{
    int out[2];
    if (pipe(out) != 0)
        return false;
    const long long start = nowNanoseconds();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        const std::string startText = std::to_string(start);
        execl("/proc/self/exe", "wizard_startup_bench", "--child", startText.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buffer[64];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 0;
    rusage usage {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0
        || text.empty())
        return false;
    run->milliseconds = std::atoll(text.c_str()) / 1e6;
    run->peakKilobytes = usage.ru_maxrss;
    return true;
}

template <typename T> T median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::string(argv[1]) == "--child")
        return child(std::atoll(argv[2]), argc, argv);

    const int runs = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 21;
    std::vector<double> times;
    std::vector<long> peaks;
    for (int i = 0; i < runs; ++i) {
        Run run;
        if (!runOnce(&run)) {
            std::fprintf(stderr, "run %d failed\n", i + 1);
            return 1;
        }
        times.push_back(run.milliseconds);
        peaks.push_back(run.peakKilobytes);
    }
    std::printf("runs: %d\n", runs);
    std::printf("start to first page painted: median %.1f ms (min %.1f, max %.1f)\n", median(times),
        *std::min_element(times.begin(), times.end()), *std::max_element(times.begin(), times.end()));
    std::printf("peak memory (max resident): median %.1f MiB (max %.1f)\n", median(peaks) / 1024.0,
        *std::max_element(peaks.begin(), peaks.end()) / 1024.0);
    return 0;
}
