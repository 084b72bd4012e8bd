#include "PosixIo.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <poll.h>

namespace korvel::serial::platform {
namespace {
// How often a write that waits looks for an abort.
constexpr int kAbortLookMs = 20;
} // namespace

WriteDeadline writeDeadline(const Timeouts& t, std::size_t size)
{
    WriteDeadline d;
    d.bounded = t.writeTotalConstant != 0 || t.writeTotalMultiplier != 0;
    d.at = Clock::now()
           + std::chrono::milliseconds(static_cast<std::int64_t>(t.writeTotalConstant)
                                       + static_cast<std::int64_t>(t.writeTotalMultiplier) * static_cast<std::int64_t>(size));
    return d;
}

std::size_t writeWithin(int fd, PutBytes put, const void* data, std::size_t size, const WriteDeadline& deadline,
                        const std::atomic<std::uint64_t>& aborts, std::uint64_t seen)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = put(fd, bytes + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            break; // EIO once a device is gone, EPIPE once a connection is: the count so far
        if (aborts.load() != seen)
            break;
        int waitMs = kAbortLookMs;
        if (deadline.bounded) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline.at - Clock::now()).count();
            if (left <= 0)
                break;
            waitMs = static_cast<int>(std::min<std::int64_t>(left, kAbortLookMs));
        }
        pollfd p{fd, POLLOUT, 0};
        const int r = ::poll(&p, 1, waitMs);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
            break;
    }
    return done;
}

std::string systemErrorText(int errorCode)
{
    char buf[256];
    return ::strerror_r(errorCode, buf, sizeof buf);
}

} // namespace korvel::serial::platform
