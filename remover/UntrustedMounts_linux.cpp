#include "UntrustedMounts.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

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

bool readWholeFile(const char* path, std::string& text)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[8192];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(got));
    close(fd);
    return got == 0;
}

} // namespace

std::vector<std::string> programServedMountPoints(const std::string& mountInfo)
{
    // Each line: id, parent id, device, root, mount point, options, optional
    // fields, "-", file system type, source, super block options. Split by
    // hand: a string stream would bring the locale machinery into the tool.
    std::vector<std::string> mountPoints;
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
        if (isProgramServedFileSystem(*(separator + 1)))
            mountPoints.push_back(unescaped(fields[4]));
    }
    return mountPoints;
}

bool readProgramServedMountPoints(std::vector<std::string>& mountPoints)
{
    std::string text;
    if (!readWholeFile("/proc/self/mountinfo", text))
        return false;
    mountPoints = programServedMountPoints(text);
    return true;
}

std::string pathOfOpenFolder(int fd)
{
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    char buffer[4096];
    const ssize_t length = readlink(link.c_str(), buffer, sizeof buffer);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer || buffer[0] != '/')
        return std::string();
    return std::string(buffer, static_cast<std::size_t>(length));
}

} // namespace remover
