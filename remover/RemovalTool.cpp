#include "RemovalTool.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ChoiceMask.h"
#include "ResultFile.h"
#include "TreeRemoval.h"

namespace {

const int kUsageExitStatus = 64;  // EX_USAGE

// True when the path, read without the file system, names "/" itself:
// "/", "//", "/.", "/tmp/.." and the like.
bool namesRootLexically(const std::string& path)
{
    std::size_t depth = 0;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (depth > 0)
                --depth;
        } else if (!part.empty() && part != ".") {
            ++depth;
        }
        start = end + 1;
    }
    return depth == 0;
}

bool resolvesToRoot(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) && std::string(resolved) == "/";
}

}  // namespace

bool isUsableHome(const std::string& home)
{
    return !home.empty() && home.front() == '/' && !namesRootLexically(home) && !resolvesToRoot(home);
}

bool removeAll(const RemovalList& list)
{
    bool ok = true;
    for (const std::string& path : list) {
        if (itemExists(path) && !removeItem(path))
            ok = false;
    }
    return ok;
}

int runRemovalTool(int argc, const char* const* argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <choice-mask> <home-folder> <result-file>\n",
                     argc > 0 && argv[0] ? argv[0] : "main");
        return kUsageExitStatus;
    }
    const int mask = parseChoiceMask(argv[1]);
    const std::string home = argv[2];
    const std::string resultPath = argv[3];

    bool ok = false;
    try {
        if (isUsableHome(home))
            ok = removeAll(buildRemovalList(mask, home));
    } catch (...) {
        ok = false;  // out of memory: report, never crash without a verdict
    }
    writeResultFile(resultPath, ok ? "success" : "failed");
    return 0;
}
