// removal-explain <choice-mask> <home> <result-file>: does exactly what the
// removal tool does (the same removal, the same result file), then prints,
// for each entry that stayed, the step that failed and why. The tool itself
// prints nothing; this is for trying it out (scripts/demo.sh) and debugging.
#include <cstdio>

#include "RemovalTool.h"

int main(int argc, char** argv)
{
    remover::RemovalOutcome outcome;
    const int status = remover::runRemovalTool(argc, argv, remover::ToolCaller(), &outcome);
    if (status != 0)
        return status;
    for (const remover::EntryFailure& failure : outcome.failures)
        std::printf("%s\t%s\n", failure.path.c_str(), remover::describe(failure.why).c_str());
    if (!outcome.ok && outcome.failures.empty())
        std::printf("\tnothing removed: the home folder cannot be used\n");
    return 0;
}
