#include "RemovalTestHelpers.h"

#include <sched.h>
#include <sys/mount.h>

namespace remover {

namespace removaltest {

bool enterPrivateMountNamespace()
{
    return unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

} // namespace removaltest

} // namespace remover
