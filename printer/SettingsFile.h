// setting.dll: the port the operator chose, kept between runs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvel::printer {

inline constexpr const char* kSettingsFileName = "setting.dll";

// The selected index of comboportselect (-1 ... 254) as the file's two lines.
std::string settingsFileText(int selectedIndex);

// The index on the first line, or nullopt when it is not an integer from -1
// to 254 (such a file counts as missing).
std::optional<int> parseSettingsFile(std::string_view content);

// Written whole: a temporary file beside it, then renamed over it. Throws
// std::runtime_error naming the file and the system's reason.
void writeSettingsFile(const std::string& path, int selectedIndex);

// nullopt when the file is missing or malformed; throws std::runtime_error
// naming the file and the reason when it exists but cannot be read.
std::optional<int> readSettingsFile(const std::string& path);

// Selector index -> the port name: 0 ... 253 "COM1" ... "COM254"; -1 and 254
// (the custom entry "COM255") have none.
std::string portNameForIndex(int index);

} // namespace korvel::printer
