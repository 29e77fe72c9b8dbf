#include "PosixFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

std::optional<std::string> readWholeFile(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    char buffer[8192];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) != 0) {
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    close(fd);
    if (got != 0)
        return std::nullopt;
    return text;
}

std::optional<std::string> readLink(const std::string& path)
{
    // Link texts are at most a path's length; the buffer grows for a system
    // that allows longer ones.
    std::string buffer(4096, '\0');
    for (;;) {
        const ssize_t length = readlink(path.c_str(), &buffer[0], buffer.size());
        if (length < 0)
            return std::nullopt;
        if (static_cast<std::size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(length));
            return buffer;
        }
        if (buffer.size() >= 65536)
            return std::nullopt;
        buffer.resize(buffer.size() * 2);
    }
}
