// Port naming and discovery of this platform: which device or network
// address a printer's port name stands for, and which ports exist.
#pragma once

#include "../PortMap.h"

#include <string>
#include <vector>

namespace korvel::serial::platform {

class PortDirectory {
public:
    virtual ~PortDirectory() = default;
    virtual std::string mapDir() = 0;
    // What the backend's open takes for the name: a device path or a URL.
    virtual std::string resolve(const std::string& portName) = 0;
    virtual std::vector<PortEntry> list() = 0;
    // Throw std::runtime_error with the reason on failure.
    virtual void map(const std::string& portName, const std::string& target) = 0;
    virtual void unmap(const std::string& portName) = 0;
};

PortDirectory& systemPortDirectory();

} // namespace korvel::serial::platform
