#include "PortMap.h"

#include "platform/PortDirectory.h"
#include "platform/net/NetAddress.h"

namespace korvel::serial {

std::string portMapDir() { return platform::systemPortDirectory().mapDir(); }
std::string resolvePortDevice(const std::string& portName) { return platform::systemPortDirectory().resolve(portName); }
std::vector<PortEntry> listPorts() { return platform::systemPortDirectory().list(); }
void mapPort(const std::string& portName, const std::string& target) { platform::systemPortDirectory().map(portName, target); }
void unmapPort(const std::string& portName) { platform::systemPortDirectory().unmap(portName); }
bool isNetworkPort(const std::string& device) { return platform::looksLikeUrl(device); }

} // namespace korvel::serial
