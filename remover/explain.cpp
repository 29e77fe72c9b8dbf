// removal-explain <choice-mask> <home> <result-file>: does exactly what the
// removal tool does (the same removal, the same result file), then prints,
// for each entry that stayed, the step that failed and why. The tool itself
// prints nothing; this is for trying it out (scripts/demo.sh) and debugging.
#include <cstdio>

#include "RemovalTool.h"
#include "ToolInterface.h"

int main(int argc, char** argv)
{
    remover::RemovalOutcome outcome;
    const int status = remover::runRemovalTool(argc, argv, remover::ToolCaller(), &outcome);
    if (status != 0)
        return status;
    const std::string home = argv[remover::HomeFolderArgument];
    for (const remover::EntryFailure& failure : outcome.failures) {
        const std::string path = remover::pathOf(failure.entry, home);
        std::printf("%s\t%s\n", path.c_str(), remover::describe(failure.why).c_str());
    }
    if (!outcome.stoppedBy.ok())
        std::printf("\tthe run stopped early: %s\n", remover::describe(outcome.stoppedBy).c_str());
    else if (!outcome.ok && outcome.failures.empty())
        std::printf("\tnothing removed: the home folder cannot be used\n");
    if (!outcome.verdictWritten)
        std::printf("\tthe verdict could not be written to %s\n", argv[remover::ResultFileArgument]);
    return 0;
}
