// Kept apart: the kernel's termios2 headers clash with <termios.h>.
#include "CustomSpeed.h"

#if defined(__linux__)
#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept;

namespace korvel::serial::platform {

bool setCustomSpeed(int fd, std::int32_t bitsPerSecond)
{
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = static_cast<speed_t>(bitsPerSecond);
    tio.c_ospeed = static_cast<speed_t>(bitsPerSecond);
    return ioctl(fd, TCSETS2, &tio) == 0;
}

} // namespace korvel::serial::platform
#else
namespace korvel::serial::platform {

bool setCustomSpeed(int, std::int32_t) { return false; }

} // namespace korvel::serial::platform
#endif
