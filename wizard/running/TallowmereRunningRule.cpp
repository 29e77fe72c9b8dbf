#include "TallowmereRunningRule.h"

#include "BundleLayout.h"
#include "InfoPlist.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

#include <boost/algorithm/string/predicate.hpp>

namespace {

// The rest of the first line that starts with `label`, or empty.
std::optional<std::string> statusField(const std::string& statusText, const std::string& label)
{
    std::istringstream lines(statusText);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.compare(0, label.size(), label) == 0)
            return line.substr(label.size());
    }
    return std::nullopt;
}

} // namespace

std::optional<uid_t> realUidFromStatus(const std::string& statusText)
{
    const auto field = statusField(statusText, "Uid:");
    if (!field)
        return std::nullopt;
    // "Uid:\treal\teffective\tsaved\tfilesystem"
    const char* start = field->c_str();
    while (*start == ' ' || *start == '\t')
        ++start;
    if (*start < '0' || *start > '9')
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(start, &end, 10);
    if (errno != 0 || (*end != '\0' && *end != ' ' && *end != '\t') || value != static_cast<uid_t>(value))
        return std::nullopt;
    return static_cast<uid_t>(value);
}

char stateFromStatus(const std::string& statusText)
{
    const auto field = statusField(statusText, "State:");
    if (!field)
        return '?';
    // "State:\tS (sleeping)"
    const auto letter = field->find_first_not_of(" \t");
    return letter == std::string::npos ? '?' : (*field)[letter];
}

std::string executableFromLinkText(const std::string& linkText, bool linkTextNamesExistingFile)
{
    const std::string mark = " (deleted)";
    if (!linkTextNamesExistingFile && boost::algorithm::ends_with(linkText, mark))
        return linkText.substr(0, linkText.size() - mark.size());
    return linkText;
}

bool isExecutableOfBundle(const std::string& executable, const std::string& identifier)
{
    if (executable.empty() || executable.front() != '/')
        return false;
    // An executable outside any application bundle never counts, not even
    // where its own folder has a Contents/Info.plist.
    const auto root = NDUtilities::applicationBundleOfExecutable(executable);
    if (!root)
        return false;
    const auto found = NDUtilities::infoPlistString(NDUtilities::infoPlistPathOfBundle(*root), "CFBundleIdentifier");
    return found && *found == identifier;
}

bool processCounts(const ProcessEntry& process, uid_t user, const std::string& identifier)
{
    if (!process.realUid || *process.realUid != user)
        return false;
    // A zombie has run to its end and only waits for its parent; 'X' is the
    // moment of its removal.
    if (process.state == 'Z' || process.state == 'X')
        return false;
    return isExecutableOfBundle(process.executable, identifier);
}

std::vector<pid_t> countedProcesses(const std::vector<ProcessEntry>& table, uid_t user, const std::string& identifier)
{
    std::vector<pid_t> counted;
    for (const ProcessEntry& process : table) {
        if (processCounts(process, user, identifier))
            counted.push_back(process.pid);
    }
    return counted;
}
