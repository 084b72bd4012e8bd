// Speeds that termios has no constant for, through the kernel's termios2.
#pragma once

#include <cstdint>

namespace korvel::serial::platform {

// False when the driver refuses the speed.
bool setCustomSpeed(int fd, std::int32_t bitsPerSecond);

} // namespace korvel::serial::platform
