#include "RemovalResult.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>

namespace remover {

const char* stepName(RemovalStep step)
{
    switch (step) {
    case RemovalStep::None:
        return "nothing failed";
    case RemovalStep::NotAName:
        return "not a single name";
    case RemovalStep::LookUp:
        return "look-up";
    case RemovalStep::LinkNotFollowed:
        return "link on the way not followed";
    case RemovalStep::Unlink:
        return "unlink";
    case RemovalStep::OpenFolder:
        return "open folder";
    case RemovalStep::IdentifyFolder:
        return "identify folder";
    case RemovalStep::MountRoot:
        return "mount root not entered";
    case RemovalStep::UntrustedMount:
        return "program-served mount not entered";
    case RemovalStep::OtherUsersFolder:
        return "another user's folder not entered";
    case RemovalStep::TooDeep:
        return "deeper than the walk goes";
    case RemovalStep::TooManyEntries:
        return "more entries than the walk reads in one folder";
    case RemovalStep::ReadFolder:
        return "read folder";
    case RemovalStep::RemoveFolder:
        return "remove folder";
    case RemovalStep::ClimbBack:
        return "climb back";
    case RemovalStep::ClimbFoundAnotherFolder:
        return "climb back found another folder";
    case RemovalStep::OutOfMemory:
        return "out of memory";
    case RemovalStep::Unexpected:
        return "stopped by an unexpected error";
    }
    return "unknown step";
}

RemovalResult failureOfCaughtException()
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return removalFailure(RemovalStep::OutOfMemory, ENOMEM);
    } catch (const std::system_error& error) {
        const bool isErrno
            = error.code().category() == std::generic_category() || error.code().category() == std::system_category();
        return removalFailure(RemovalStep::Unexpected, isErrno ? error.code().value() : 0);
    } catch (...) {
        return removalFailure(RemovalStep::Unexpected, 0);
    }
}

std::string describe(const RemovalResult& result)
{
    std::string text = stepName(result.step);
    if (result.ok())
        return text;
    if (!result.where.empty())
        text += " at " + result.where;
    if (result.error != 0)
        text += std::string(": ") + std::strerror(result.error);
    return text;
}

} // namespace remover
