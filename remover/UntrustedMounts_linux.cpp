#include "UntrustedMounts.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "PosixFiles.h"

namespace remover {

namespace {

// Mount points in the table escape blanks, tabs, line ends and backslashes
// as three octal digits.
std::string unescaped(const std::string& field)
{
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (digits.find_first_not_of("01234567") == std::string::npos) {
                text += static_cast<char>(std::stoi(digits, nullptr, 8));
                i += 3;
                continue;
            }
        }
        text += field[i];
    }
    return text;
}

// "major:minor" as the table gives a device; 0 when it is not that.
dev_t deviceFromText(const std::string& text)
{
    const auto colon = text.find(':');
    if (colon == std::string::npos)
        return 0;
    char* end = nullptr;
    const unsigned long major = std::strtoul(text.c_str(), &end, 10);
    if (end != text.c_str() + colon)
        return 0;
    const unsigned long minor = std::strtoul(text.c_str() + colon + 1, &end, 10);
    return *end == '\0' ? makedev(major, minor) : 0;
}

} // namespace

std::vector<ProgramServedMount> programServedMounts(const std::string& mountInfo)
{
    // Each line: id, parent id, device, root, mount point, options, optional
    // fields, "-", file system type, source, super block options. Split by
    // hand: a string stream would bring the locale machinery into the tool.
    std::vector<ProgramServedMount> mounts;
    std::size_t lineStart = 0;
    while (lineStart < mountInfo.size()) {
        std::size_t lineEnd = mountInfo.find('\n', lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = mountInfo.size();
        std::vector<std::string> fields;
        for (std::size_t at = lineStart; at < lineEnd;) {
            const std::size_t end = std::min(mountInfo.find(' ', at), lineEnd);
            if (end > at)
                fields.push_back(mountInfo.substr(at, end - at));
            at = end + 1;
        }
        lineStart = lineEnd + 1;
        const auto separator = std::find(fields.begin(), fields.end(), "-");
        if (fields.size() < 5 || separator - fields.begin() < 6 || fields.end() - separator < 2)
            continue;
        if (!isProgramServedFileSystem(*(separator + 1)))
            continue;
        ProgramServedMount mount;
        mount.mountPoint = unescaped(fields[4]);
        mount.mountId = std::strtoull(fields[0].c_str(), nullptr, 10);
        mount.device = deviceFromText(fields[2]);
        mounts.push_back(std::move(mount));
    }
    return mounts;
}

bool readProgramServedMounts(std::vector<ProgramServedMount>& mounts)
{
    const std::optional<std::string> text = readWholeFile("/proc/self/mountinfo");
    if (!text)
        return false;
    mounts = programServedMounts(*text);
    return true;
}

bool leadsIntoOneOf(int folderFd, const std::string& name, const std::vector<ProgramServedMount>& mounts)
{
    // The kernel's own record of where the name leads: AT_STATX_DONT_SYNC
    // keeps even a program-served file system from being asked.
    struct statx info;
    if (statx(folderFd, name.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC, STATX_MNT_ID, &info)
        != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return false;
        for (const ProgramServedMount& mount : mounts)
            if (lastComponent(mount.mountPoint) == name)
                return true;
        return false;
    }
    const dev_t device = makedev(info.stx_dev_major, info.stx_dev_minor);
    const std::uint64_t mountId = (info.stx_mask & STATX_MNT_ID) ? info.stx_mnt_id : 0;
    for (const ProgramServedMount& mount : mounts) {
        // The device covers every mount of the same file system, bind mounts
        // of it included.
        if ((mount.device != 0 && mount.device == device) || (mountId != 0 && mount.mountId == mountId))
            return true;
    }
    return false;
}

} // namespace remover
