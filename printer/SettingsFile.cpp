#include "SettingsFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace korvel::printer {

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path, int err)
{
    throw std::runtime_error(what + " " + path + ": " + std::strerror(err));
}

} // namespace

std::string settingsFileText(int selectedIndex)
{
    return std::to_string(selectedIndex) + "\r\n0\r\n";
}

std::optional<int> parseSettingsFile(std::string_view content)
{
    std::string_view line = content.substr(0, content.find_first_of("\r\n"));
    bool negative = false;
    if (!line.empty() && line.front() == '-') {
        negative = true;
        line.remove_prefix(1);
    }
    if (line.empty() || line.size() > 4)
        return std::nullopt;
    int value = 0;
    for (char c : line) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (negative)
        value = -value;
    if (value < -1 || value > 254)
        return std::nullopt;
    return value;
}

void writeSettingsFile(const std::string& path, int selectedIndex)
{
    const std::string text = settingsFileText(selectedIndex);
    const std::string temp = path + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        fail("Cannot write", path, errno);
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            fail("Cannot write", path, err);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        fail("Cannot write", path, err);
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        fail("Cannot write", path, err);
    }
}

std::optional<int> readSettingsFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        fail("Cannot read", path, errno);
    }
    std::string content;
    char buffer[256];
    // The first line is all that matters; a huge file is malformed anyway.
    while (content.size() < 4096) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            fail("Cannot read", path, err);
        }
        if (n == 0)
            break;
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return parseSettingsFile(content);
}

std::string portNameForIndex(int index)
{
    if (index >= 0 && index <= 253)
        return "COM" + std::to_string(index + 1);
    return {};
}

} // namespace korvel::printer
