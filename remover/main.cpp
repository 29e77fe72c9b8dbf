#include <unistd.h>

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

} // namespace

int main(int argc, char** argv)
{
    startAsTheServiceManagerWould();
    return runRemovalTool(argc, argv);
}
