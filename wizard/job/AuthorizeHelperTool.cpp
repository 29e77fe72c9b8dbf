#include "AuthorizeHelperTool.h"

#include <memory>

#include "JobPlatform.h"
#include "PrivilegedJob.h"

int authorizeHelperTool(int choiceMask)
{
    const std::unique_ptr<JobPlatform> platform = makeJobPlatform();
    return static_cast<int>(runPrivilegedJob(*platform, choiceMask));
}
