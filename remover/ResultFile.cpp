#include "ResultFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

// Readable by the user who waits for it; the tool runs as root.
const mode_t kResultFileMode = 0644;

bool writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

bool replaceWithNewFile(const std::string& path, const std::string& contents)
{
    const auto slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty())
        return false;

    // mkstemp creates with O_CREAT | O_EXCL, which never follows a link.
    std::string pattern = folder + "." + name + ".XXXXXX";
    std::vector<char> temporary(pattern.begin(), pattern.end());
    temporary.push_back('\0');
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        return false;

    const bool written = fchmod(fd, kResultFileMode) == 0 && writeAll(fd, contents);
    const bool closed = close(fd) == 0;
    if (written && closed && rename(temporary.data(), path.c_str()) == 0)
        return true;
    unlink(temporary.data());
    return false;
}

}  // namespace

bool writeResultFile(const std::string& path, const std::string& word)
{
    // The empty file comes first: a reader that sees it knows the tool has
    // finished removing and is about to give its verdict.
    const bool created = replaceWithNewFile(path, std::string());
    return replaceWithNewFile(path, word) && created;
}
