// The two backends of this platform, behind the one systemBackend() routes to.
#pragma once

#include "../SerialBackend.h"

namespace korvel::serial::platform {

// Error codes above this one are name-resolution failures (getaddrinfo's, negated).
constexpr int kResolveErrorBase = 0x10000;

SerialBackend& ttyBackend();    // device paths: termios
SerialBackend& socketBackend(); // tcp:// and rfc2217:// URLs

} // namespace korvel::serial::platform
