#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "RemovalTool.h"

extern char** environ;

namespace {

// Started through pkexec the tool finds root's home folder as its working
// folder and a few variables of pkexec's; the service manager starts it in "/"
// with nothing but PATH. It makes the same start either way.
void startAsTheServiceManagerWould()
{
    static std::string path;
    static char* cleanEnvironment[2] = { nullptr, nullptr };
    if (const char* value = std::getenv("PATH")) {
        path = std::string("PATH=") + value;
        cleanEnvironment[0] = path.data();
    }
    environ = cleanEnvironment;
    if (chdir("/") != 0) {
        // Nothing depends on the working folder: every path the tool uses is
        // absolute or relative to a folder it has opened.
    }
}

// Descriptors the walk is sure to have even when its starter allowed fewer.
const rlim_t kMinOpenFiles = 1024;

// The soft limit to ask for under a hard one. Darwin refuses a descriptor
// limit above OPEN_MAX with EINVAL, an unlimited hard limit included.
rlim_t softLimitUnder(int resource, rlim_t hard)
{
#ifdef OPEN_MAX
    if (resource == RLIMIT_NOFILE && (hard == RLIM_INFINITY || hard > OPEN_MAX))
        return OPEN_MAX;
#else
    (void)resource;
#endif
    return hard;
}

void raise(int resource, rlim_t wanted)
{
    struct rlimit limit;
    if (getrlimit(resource, &limit) != 0)
        return;
    if (limit.rlim_max != RLIM_INFINITY && (wanted == RLIM_INFINITY || limit.rlim_max < wanted))
        limit.rlim_max = wanted; // root may raise the hard limit too
    limit.rlim_cur = softLimitUnder(resource, limit.rlim_max);
    if (setrlimit(resource, &limit) != 0) {
        // Without the right to raise the hard limit: at least up to it.
        getrlimit(resource, &limit);
        limit.rlim_cur = softLimitUnder(resource, limit.rlim_max);
        setrlimit(resource, &limit);
    }
}

// pkexec hands its caller's resource limits on to the tool: a file size limit
// of 0 kills it at its verdict (SIGXFSZ), a CPU limit midway through the
// removal, too few descriptors fail the walk. The service manager gives its
// own; the tool sets what it needs either way.
void takeTheLimitsItNeeds()
{
    raise(RLIMIT_FSIZE, RLIM_INFINITY);
    raise(RLIMIT_CPU, RLIM_INFINITY);
    raise(RLIMIT_NOFILE, kMinOpenFiles);
    // Where even root may not raise a hard limit (a container without the
    // right to), a write beyond it fails rather than killing the tool.
    signal(SIGXFSZ, SIG_IGN);
}

// Started from a terminal (through pkexec), the tool is in its caller's
// session: ^C, ^\, ^Z or a closed terminal would stop or end it halfway
// through the removal, with no verdict. Root's SIGTERM and SIGKILL still end it.
void ignoreTheTerminal()
{
    for (const int terminalSignal : { SIGINT, SIGQUIT, SIGHUP, SIGTSTP, SIGTTIN, SIGTTOU })
        signal(terminalSignal, SIG_IGN);
}

} // namespace

int main(int argc, char** argv)
{
    ignoreTheTerminal();
    // Read before the environment goes: pkexec names the user it runs the
    // tool for, whose arguments are not to be taken on trust.
    const remover::ToolCaller caller = remover::callerFromPkexec(std::getenv("PKEXEC_UID"));
    takeTheLimitsItNeeds();
    startAsTheServiceManagerWould();
    return remover::runRemovalTool(argc, argv, caller);
}
