// setting.dll as any bytes: a port index from -1 to 254, or counted as missing.
#include "FuzzCheck.h"
#include "printer/SettingsFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>

using namespace korvel::printer;

namespace {

std::string scratchPath()
{
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/korvel-fuzz-setting-" + std::to_string(::getpid()) + ".dll";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const auto index = parseSettingsFile(content);
    if (index) {
        FUZZ_CHECK(*index >= -1 && *index <= 254);
        // What the program writes for that index reads back as it.
        FUZZ_CHECK(parseSettingsFile(settingsFileText(*index)) == index);
    }
    // A line the program itself would have written is never refused.
    const std::string_view first = content.substr(0, content.find_first_of("\r\n"));
    for (int i = -1; i <= 254 && first.size() <= 3; ++i)
        if (first == std::to_string(i))
            FUZZ_CHECK(index == i);

    // Read from disk, the same file means the same port.
    static const std::string path = scratchPath();
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        const bool written = std::fwrite(data, 1, size, f) == size;
        std::fclose(f);
        if (written)
            FUZZ_CHECK(readSettingsFile(path) == index);
        std::remove(path.c_str());
    }
    return 0;
}
