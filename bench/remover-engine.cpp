// The removal engine alone, with a chosen number of workers, for
// bench/remover-bench.py --engine; the tool itself chooses its workers.
//
//   remover_engine_bench --workers N FOLDER
//
// N workers run from the start; with N = 0 the engine chooses as the tool
// does (one at first, more while they raise the rate).
// Removes FOLDER with everything in it; exit status 0 when all of it is gone.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "FolderCalls.h"
#include "FolderTreeRemoval.h"

using namespace remover;

int main(int argc, char** argv)
{
    if (argc != 4 || std::string(argv[1]) != "--workers" || std::atoi(argv[2]) < 0) {
        std::fprintf(stderr, "usage: %s --workers N FOLDER\n", argv[0]);
        return 64;
    }
    const std::string path = argv[3];
    const std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 == path.size()) {
        std::fprintf(stderr, "FOLDER must be a path with a folder above it\n");
        return 64;
    }
    const std::string above = slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = path.substr(slash + 1);
    UniqueFd parent(open(above.c_str(), kOpenFolderFlags));
    UniqueFd folder(parent ? openat(parent.get(), name.c_str(), kOpenFolderFlags) : -1);
    const std::optional<EntryIdentity> identity = folder ? identifyOpenFolder(folder.get()) : std::nullopt;
    if (!identity) {
        std::perror(path.c_str());
        return 1;
    }
    RemovalSettings settings;
    settings.workers = static_cast<unsigned>(std::atoi(argv[2]));
    const RemovalResult result = removeFolderTree(parent.get(), name, folder.release(), *identity, settings);
    return result.ok() ? 0 : 1;
}
