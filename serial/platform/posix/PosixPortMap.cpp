// The port map of this platform: a folder whose entries COM1 ... COM254 are
// symbolic links to devices, or small files holding one network URL.
#include "../PortDirectory.h"
#include "../net/NetAddress.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <functional>
#include <tuple>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel::serial::platform {
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

// The URL a map entry holds when it is a plain file, else empty.
std::string urlIn(const fs::path& entry)
{
    std::ifstream in(entry);
    std::string line;
    if (!in || !std::getline(in, line))
        return {};
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return looksLikeUrl(line) ? line : std::string();
}

// /dev/ttySk exists for every port the driver reserved; sysfs says whether a
// UART answered there (type 0 is none). Without sysfs the node is believed.
bool isPhantomUart(const fs::path& node)
{
    const std::string name = node.filename().string();
    if (node.parent_path() != "/dev" || name.rfind("ttyS", 0) != 0)
        return false;
    std::ifstream in("/sys/class/tty/" + name + "/type");
    int type = -1;
    return (in >> type) && type == 0;
}

void replaceAtomically(const fs::path& dir, const std::string& portName, const std::string& target,
                       const std::function<bool(const fs::path&)>& create)
{
    // A reader never sees the name missing.
    const fs::path entry = dir / portName;
    const fs::path tmp = dir / ("." + portName + "." + std::to_string(::getpid()));
    ::unlink(tmp.c_str());
    if (!create(tmp)) {
        const int error = errno;
        ::unlink(tmp.c_str());
        throw std::runtime_error("Cannot map " + portName + " to " + target + ": " + std::strerror(error));
    }
    if (::rename(tmp.c_str(), entry.c_str()) != 0) {
        const int error = errno;
        ::unlink(tmp.c_str());
        throw std::runtime_error("Cannot map " + portName + " to " + target + ": " + std::strerror(error));
    }
}

} // namespace

class PosixPortMap final : public PortDirectory {
public:
    std::string mapDir() override;
    std::string resolve(const std::string& portName) override;
    std::vector<PortEntry> list() override;
    void map(const std::string& portName, const std::string& target) override;
    void unmap(const std::string& portName) override;
};

std::string PosixPortMap::mapDir()
{
    if (const char* dir = std::getenv("KORVEL_PORT_MAP"); dir && *dir)
        return dir;
    return homeDir() + "/.config/korvel/ports";
}

std::string PosixPortMap::resolve(const std::string& portName)
{
    const int n = comNumber(portName);
    if (n == 0)
        return portName;
    const std::string entry = mapDir() + "/" + portName;
    struct stat st {};
    if (::lstat(entry.c_str(), &st) == 0) {
        if (S_ISREG(st.st_mode)) {
            // An unreadable or foreign file opens as it stands and fails there.
            const std::string url = urlIn(entry);
            return url.empty() ? entry : url;
        }
        return entry;
    }
    return "/dev/ttyS" + std::to_string(n - 1);
}

std::vector<PortEntry> PosixPortMap::list()
{
    std::vector<PortEntry> result;
    std::vector<std::pair<int, PortEntry>> mapped;
    std::error_code ec;
    std::vector<std::pair<int, PortEntry>> urls;
    for (fs::directory_iterator it(mapDir(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const int n = comNumber(name);
        std::error_code linkEc;
        if (n == 0)
            continue;
        if (it->is_symlink(linkEc)) {
            const fs::path target = fs::read_symlink(it->path(), linkEc);
            if (!linkEc)
                mapped.push_back({n, {name, target.string()}});
        } else if (it->is_regular_file(linkEc)) {
            if (const std::string url = urlIn(it->path()); !url.empty())
                urls.push_back({n, {name, url}});
        }
    }

    // A device already reached through the map is listed once, under its map name;
    // an entry for a ttyS node without a UART is left out, as that node is.
    std::vector<fs::path> mappedTargets;
    std::vector<int> mappedNumbers;
    std::vector<std::pair<int, PortEntry>> shown;
    for (const auto& [n, entry] : mapped) {
        std::error_code canonEc;
        const fs::path target = fs::weakly_canonical(fs::path(mapDir()) / entry.device, canonEc);
        mappedTargets.push_back(target);
        mappedNumbers.push_back(n);
        if (!isPhantomUart(target))
            shown.push_back({n, entry});
    }
    for (const auto& [n, entry] : urls)
        mappedNumbers.push_back(n);
    shown.insert(shown.end(), urls.begin(), urls.end());
    std::sort(shown.begin(), shown.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [n, entry] : shown)
        result.push_back(entry);

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
        if (prefix == 0 && isPhantomUart(path))
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

void PosixPortMap::map(const std::string& portName, const std::string& target)
{
    requireComNumber(portName);
    const bool url = looksLikeUrl(target);
    std::string why;
    if (url && !parseNetAddress(target, &why))
        throw std::runtime_error("Cannot map " + portName + " to " + target + ": " + why
                                 + " (tcp://HOST:PORT or rfc2217://HOST:PORT)");
    if (target.empty())
        throw std::runtime_error("Cannot map " + portName + ": no device named");
    const fs::path dir = mapDir();
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec)
        throw std::runtime_error("Cannot create " + dir.string() + ": " + ec.message());
    if (!url) {
        replaceAtomically(dir, portName, target,
                          [&](const fs::path& tmp) { return ::symlink(target.c_str(), tmp.c_str()) == 0; });
        return;
    }
    replaceAtomically(dir, portName, target, [&](const fs::path& tmp) {
        std::ofstream out(tmp, std::ios::trunc);
        out << target << '\n';
        out.close();
        if (!out && errno == 0)
            errno = EIO;
        return static_cast<bool>(out);
    });
}

void PosixPortMap::unmap(const std::string& portName)
{
    requireComNumber(portName);
    const fs::path link = fs::path(mapDir()) / portName;
    if (::unlink(link.c_str()) != 0 && errno != ENOENT)
        throw std::runtime_error("Cannot unmap " + portName + ": " + std::strerror(errno));
}

PortDirectory& systemPortDirectory()
{
    static PosixPortMap directory;
    return directory;
}

} // namespace korvel::serial::platform
