// The port map: a folder of symbolic links COM1 ... COM254 that name the
// devices behind the printer's port names on this platform.
#pragma once

#include <string>
#include <vector>

namespace korvel::serial {

// $KORVEL_PORT_MAP when set, else $HOME/.config/korvel/ports.
std::string portMapDir();

// "COMn" (1 ... 254) -> the map's link for it when present, else /dev/ttyS(n-1).
// Any other non-empty name is taken as a device path as it stands.
std::string resolvePortDevice(const std::string& portName);

// Names in the map (sorted by number) followed by the serial devices that exist
// (/dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*), each as "NAME -> device" pairs.
struct PortEntry { std::string name; std::string device; };
std::vector<PortEntry> listPorts();

// Create or replace, respectively remove, the link for "COMn". Throw std::runtime_error with the reason on failure.
void mapPort(const std::string& portName, const std::string& devicePath);
void unmapPort(const std::string& portName);

} // namespace korvel::serial
