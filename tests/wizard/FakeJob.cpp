#include "FakeJob.h"

#include "AuthorizeHelperTool.h"

namespace fakejob {

int result = 2;
std::vector<int> masks;
std::function<void(int)> onCall;

void reset(int nextResult)
{
    result = nextResult;
    masks.clear();
    onCall = nullptr;
}

}  // namespace fakejob

int authorizeHelperTool(int choiceMask)
{
    fakejob::masks.push_back(choiceMask);
    if (fakejob::onCall)
        fakejob::onCall(choiceMask);
    return fakejob::result;
}
