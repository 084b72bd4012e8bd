// The port map: what the printer's port names COM1 ... COM254 stand for on
// this platform, a device or a network port (tcp://HOST:PORT, rfc2217://HOST:PORT).
// Kept by the platform layer (platform/PortDirectory.h); these calls reach it.
#pragma once

#include <string>
#include <vector>

namespace korvel::serial {

// $KORVEL_PORT_MAP when set, else $HOME/.config/korvel/ports.
std::string portMapDir();

// "COMn" (1 ... 254) -> the map's link for it, or the URL its entry holds,
// else /dev/ttyS(n-1). Any other non-empty name is taken as it stands.
std::string resolvePortDevice(const std::string& portName);

// Names in the map (sorted by number) followed by the serial devices that exist
// (/dev/ttyS*, /dev/ttyUSB*, /dev/ttyACM*), each as "NAME -> device" pairs. A
// /dev/ttyS* node without a UART behind it is left out, found or mapped.
struct PortEntry { std::string name; std::string device; };
std::vector<PortEntry> listPorts();

// Create or replace, respectively remove, the entry for "COMn": a device path
// or a tcp:// or rfc2217:// URL. Throw std::runtime_error with the reason on
// failure, also for a malformed URL.
void mapPort(const std::string& portName, const std::string& target);
void unmapPort(const std::string& portName);

// Whether a device as listPorts() or resolvePortDevice() gives it is a network
// port (has the form of a URL), to be shown as it stands, never as a path.
bool isNetworkPort(const std::string& device);

} // namespace korvel::serial
