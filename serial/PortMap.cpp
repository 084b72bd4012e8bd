#include "PortMap.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <tuple>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel::serial {
namespace fs = std::filesystem;
namespace {

// n for exactly "COM1" ... "COM254" (no leading zeros), else 0.
int comNumber(const std::string& name)
{
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0 || name[3] == '0')
        return 0;
    int n = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return 0;
        n = n * 10 + (name[i] - '0');
    }
    return n >= 1 && n <= 254 ? n : 0;
}

int requireComNumber(const std::string& portName)
{
    const int n = comNumber(portName);
    if (n == 0)
        throw std::runtime_error("Not a port name (COM1 ... COM254): " + portName);
    return n;
}

std::string homeDir()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return ".";
}

} // namespace

std::string portMapDir()
{
    if (const char* dir = std::getenv("KORVEL_PORT_MAP"); dir && *dir)
        return dir;
    return homeDir() + "/.config/korvel/ports";
}

std::string resolvePortDevice(const std::string& portName)
{
    const int n = comNumber(portName);
    if (n == 0)
        return portName;
    const std::string link = portMapDir() + "/" + portName;
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0)
        return link;
    return "/dev/ttyS" + std::to_string(n - 1);
}

std::vector<PortEntry> listPorts()
{
    std::vector<PortEntry> result;
    std::vector<std::pair<int, PortEntry>> mapped;
    std::error_code ec;
    for (fs::directory_iterator it(portMapDir(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const int n = comNumber(name);
        std::error_code linkEc;
        if (n == 0 || !it->is_symlink(linkEc))
            continue;
        const fs::path target = fs::read_symlink(it->path(), linkEc);
        if (!linkEc)
            mapped.push_back({n, {name, target.string()}});
    }
    std::sort(mapped.begin(), mapped.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

    // A device already reached through the map is listed once, under its map name.
    std::vector<fs::path> mappedTargets;
    std::vector<int> mappedNumbers;
    for (const auto& [n, entry] : mapped) {
        std::error_code canonEc;
        mappedTargets.push_back(fs::weakly_canonical(fs::path(portMapDir()) / entry.device, canonEc));
        mappedNumbers.push_back(n);
        result.push_back(entry);
    }

    static const char* const kPrefixes[] = {"ttyS", "ttyUSB", "ttyACM"};
    std::vector<std::tuple<int, long, std::string>> devices;
    for (fs::directory_iterator it("/dev", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        for (int p = 0; p < 3; ++p) {
            const std::size_t len = std::strlen(kPrefixes[p]);
            if (name.size() > len && name.compare(0, len, kPrefixes[p]) == 0
                && std::all_of(name.begin() + static_cast<long>(len), name.end(),
                               [](char c) { return c >= '0' && c <= '9'; })) {
                devices.emplace_back(p, std::stol(name.substr(len)), it->path().string());
            }
        }
    }
    std::sort(devices.begin(), devices.end());
    for (const auto& [prefix, number, path] : devices) {
        std::error_code canonEc;
        const fs::path canonical = fs::weakly_canonical(path, canonEc);
        if (std::find(mappedTargets.begin(), mappedTargets.end(), canonical) != mappedTargets.end())
            continue;
        // /dev/ttyS(n-1) is what an unmapped "COMn" opens.
        std::string name = path;
        if (prefix == 0 && number + 1 <= 254
            && std::find(mappedNumbers.begin(), mappedNumbers.end(), number + 1) == mappedNumbers.end())
            name = "COM" + std::to_string(number + 1);
        result.push_back({name, path});
    }
    return result;
}

void mapPort(const std::string& portName, const std::string& devicePath)
{
    requireComNumber(portName);
    const fs::path dir = portMapDir();
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec)
        throw std::runtime_error("Cannot create " + dir.string() + ": " + ec.message());
    // Replace atomically: a reader never sees the name missing.
    const fs::path link = dir / portName;
    const fs::path tmp = dir / ("." + portName + "." + std::to_string(::getpid()));
    ::unlink(tmp.c_str());
    if (::symlink(devicePath.c_str(), tmp.c_str()) != 0)
        throw std::runtime_error("Cannot map " + portName + " to " + devicePath + ": " + std::strerror(errno));
    if (::rename(tmp.c_str(), link.c_str()) != 0) {
        const int error = errno;
        ::unlink(tmp.c_str());
        throw std::runtime_error("Cannot map " + portName + " to " + devicePath + ": " + std::strerror(error));
    }
}

void unmapPort(const std::string& portName)
{
    requireComNumber(portName);
    const fs::path link = fs::path(portMapDir()) / portName;
    if (::unlink(link.c_str()) != 0 && errno != ENOENT)
        throw std::runtime_error("Cannot unmap " + portName + ": " + std::strerror(errno));
}

} // namespace korvel::serial
