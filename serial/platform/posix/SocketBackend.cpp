// Ports behind a serial device server: a TCP connection carrying the line's
// bytes as they are (tcp://) or inside telnet with the COM-PORT-OPTION
// (rfc2217://). The line is the server's; only its settings travel.
#include "Backends.h"
#include "PosixIo.h"

#include "../net/NetAddress.h"
#include "../net/Telnet.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvel::serial::platform {
namespace {

constexpr int kConnectTimeoutMs = 3000;
constexpr std::size_t kMaxReadPerPoll = 1 << 16;

struct Connection {
    int fd = -1;
    bool telnet = false;

    std::mutex txMutex;  // one writer at a time, so a reply never splits an escape
    Timeouts timeouts;   // under txMutex
    std::atomic<std::uint64_t> aborts{0};

    std::mutex rxMutex;  // the fields below
    telnet::Receiver receiver;
    std::string pending;  // data bytes taken from the socket, not yet read
    bool ended = false;   // the server closed or the connection broke
};

ssize_t sendSome(int fd, const void* data, std::size_t size)
{
    return ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
}

// Sends all of bytes unless the deadline passes, the connection breaks or an
// abort comes; the count sent.
std::size_t sendAll(Connection& c, const char* bytes, std::size_t size, const WriteDeadline& deadline,
                    std::uint64_t aborts)
{
    return writeWithin(c.fd, sendSome, bytes, size, deadline, c.aborts, aborts);
}

WriteDeadline inASecond() { return {true, Clock::now() + std::chrono::seconds(1)}; }

// Control messages are short: sent whole within a second or not at all.
bool sendControl(Connection& c, const std::string& bytes)
{
    if (bytes.empty())
        return true;
    std::lock_guard lock(c.txMutex);
    return sendAll(c, bytes.data(), bytes.size(), inASecond(), c.aborts.load()) == bytes.size();
}

int connectTo(const NetAddress& a, int& errorCode)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (const int r = ::getaddrinfo(a.host.c_str(), a.port.c_str(), &hints, &found); r != 0) {
        errorCode = r == EAI_SYSTEM ? errno : kResolveErrorBase - r;
        return -1;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
    errorCode = ETIMEDOUT;
    int fd = -1;
    for (addrinfo* ai = found; ai && fd < 0; ai = ai->ai_next) {
        const int s = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (s < 0) {
            errorCode = errno;
            continue;
        }
        int error = 0;
        if (::connect(s, ai->ai_addr, ai->ai_addrlen) != 0) {
            error = errno;
            while (error == EINPROGRESS || error == EINTR) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
                if (left <= 0) {
                    error = ETIMEDOUT;
                    break;
                }
                pollfd p{s, POLLOUT, 0};
                const int r = ::poll(&p, 1, static_cast<int>(left));
                if (r < 0) {
                    error = errno;
                    continue;
                }
                if (r == 0)
                    continue;
                socklen_t len = sizeof error;
                if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &len) != 0)
                    error = errno;
                break;
            }
        }
        if (error != 0) {
            errorCode = error;
            ::close(s);
            continue;
        }
        fd = s;
    }
    ::freeaddrinfo(found);
    if (fd >= 0) {
        // Replies are a letter or two: each must go out at once.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    }
    return fd;
}

class SocketBackend final : public SerialBackend {
public:
    DeviceHandle open(const std::string& url, int& errorCode) override
    {
        const auto address = parseNetAddress(url);
        if (!address) {
            errorCode = EINVAL;
            return kInvalidHandle;
        }
        const int fd = connectTo(*address, errorCode);
        if (fd < 0)
            return kInvalidHandle;
        auto c = std::make_shared<Connection>();
        c->fd = fd;
        c->telnet = address->rfc2217;
        if (c->telnet && !sendControl(*c, telnet::greeting())) {
            errorCode = ECONNRESET;
            ::close(fd);
            return kInvalidHandle;
        }
        connections_.add(fd, std::move(c));
        return fd;
    }

    bool applyLineSettings(DeviceHandle h, const LineSettings& s) override
    {
        const auto c = find(h);
        if (!c || s.baudRate <= 0)
            return false;
        // A raw port's line is set on the server; this end only knows its rate.
        return !c->telnet || sendControl(*c, telnet::lineSettings(s));
    }

    bool applyTimeouts(DeviceHandle h, const Timeouts& t) override
    {
        const auto c = find(h);
        if (!c)
            return false;
        std::lock_guard lock(c->txMutex);
        c->timeouts = t;
        return true;
    }

    bool applyBufferSizes(DeviceHandle h, std::uint32_t, std::uint32_t) override { return find(h) != nullptr; }

    std::size_t write(DeviceHandle h, const void* data, std::size_t size) override
    {
        const auto c = find(h);
        if (!c)
            return 0;
        const std::uint64_t aborts = c->aborts.load();
        std::lock_guard lock(c->txMutex);
        const WriteDeadline deadline = writeDeadline(c->timeouts, size);
        if (!c->telnet)
            return sendAll(*c, static_cast<const char*>(data), size, deadline, aborts);

        const std::string wire = telnet::escape(data, size);
        std::size_t sent = sendAll(*c, wire.data(), wire.size(), deadline, aborts);
        // Never leave half of a doubled 0xFF on the wire: it would swallow the next byte.
        if (sent > 0 && sent < wire.size() && static_cast<unsigned char>(wire[sent - 1]) == telnet::IAC) {
            const auto* bytes = static_cast<const unsigned char*>(data);
            std::size_t k = 0, raw = 0;
            while (raw < sent)
                raw += bytes[k++] == telnet::IAC ? 2 : 1;
            if (raw > sent)
                sent += sendAll(*c, wire.data() + sent, 1, inASecond(), aborts);
        }
        // The data bytes whose whole escaped form went out.
        const auto* bytes = static_cast<const unsigned char*>(data);
        std::size_t k = 0, raw = 0;
        while (k < size && raw + (bytes[k] == telnet::IAC ? 2u : 1u) <= sent)
            raw += bytes[k++] == telnet::IAC ? 2 : 1;
        return k;
    }

    std::int64_t bytesWaiting(DeviceHandle h) override
    {
        const auto c = find(h);
        if (!c)
            return -1;
        std::lock_guard lock(c->rxMutex);
        fill(*c);
        if (c->pending.empty() && c->ended)
            return -1;
        return static_cast<std::int64_t>(c->pending.size());
    }

    std::int64_t read(DeviceHandle h, void* data, std::size_t size) override
    {
        const auto c = find(h);
        if (!c)
            return -1;
        std::lock_guard lock(c->rxMutex);
        if (c->pending.empty())
            fill(*c);
        const std::size_t n = std::min(size, c->pending.size());
        std::memcpy(data, c->pending.data(), n);
        c->pending.erase(0, n);
        if (n == 0 && c->ended)
            return -1;
        return static_cast<std::int64_t>(n);
    }

    bool modemStatus(DeviceHandle h, unsigned& status) override
    {
        const auto c = find(h);
        if (!c || !c->telnet)
            return false;
        std::lock_guard lock(c->rxMutex);
        const int state = c->receiver.modemState();
        if (state < 0)
            return false;
        status = static_cast<unsigned>(state) & (kModemCts | kModemDsr | kModemRing | kModemCd);
        return true;
    }

    bool purge(DeviceHandle h, unsigned what) override
    {
        const auto c = find(h);
        if (!c)
            return false;
        const bool rx = (what & (PurgeRxAbort | PurgeRxClear)) != 0;
        const bool tx = (what & (PurgeTxAbort | PurgeTxClear)) != 0;
        if (!rx && !tx)
            return false;
        if (what & PurgeTxAbort)
            c->aborts.fetch_add(1);
        if (rx) {
            std::lock_guard lock(c->rxMutex);
            fill(*c);
            c->pending.clear();
        }
        if (!c->telnet)
            return true;
        // The server's own queues: 1 receive, 2 transmit, 3 both.
        return sendControl(*c, telnet::comPort(telnet::PurgeData, std::string(1, static_cast<char>(rx && tx ? 3 : rx ? 1 : 2))));
    }

    bool escape(DeviceHandle h, Escape what) override
    {
        const auto c = find(h);
        if (!c || !c->telnet)
            return false;
        auto control = [&](char value) { return sendControl(*c, telnet::comPort(telnet::SetControl, std::string(1, value))); };
        switch (what) {
        case Escape::SetBreak: return control(5);
        case Escape::ClearBreak: return control(6);
        case Escape::SetDtr: return control(8);
        case Escape::ClearDtr: return control(9);
        case Escape::SetRts: return control(11);
        case Escape::ClearRts: return control(12);
        case Escape::SetXon: return sendControl(*c, telnet::comPort(telnet::FlowResume, {}));
        case Escape::SetXoff: return sendControl(*c, telnet::comPort(telnet::FlowSuspend, {}));
        }
        return false;
    }

    bool drain(DeviceHandle h) override { return find(h) != nullptr; }

    std::uint32_t confirmedBaudRate(DeviceHandle h) override
    {
        const auto c = find(h);
        if (!c || !c->telnet)
            return 0;
        std::lock_guard lock(c->rxMutex);
        return c->receiver.serverBaudRate();
    }

    bool close(DeviceHandle h) override
    {
        const std::shared_ptr<Connection> c = connections_.take(h);
        if (!c)
            return false;
        ::shutdown(c->fd, SHUT_RDWR);
        return ::close(c->fd) == 0;
    }

    std::string errorText(int errorCode) override
    {
        if (errorCode > kResolveErrorBase)
            return ::gai_strerror(kResolveErrorBase - errorCode);
        return systemErrorText(errorCode);
    }

    bool beginTimerPeriod(unsigned) override { return false; }
    bool endTimerPeriod(unsigned) override { return false; }
    std::uint64_t currentThreadId() override { return 0; }
    bool setThreadPriority(std::uint64_t, TThreadPriority, int& errorCode) override
    {
        errorCode = ENOSYS;
        return false;
    }

private:
    std::shared_ptr<Connection> find(DeviceHandle h) { return connections_.find(h); }

    // Takes what the socket holds now (rxMutex held), answering the telnet
    // negotiation as it goes.
    void fill(Connection& c)
    {
        char buf[4096];
        std::string replies;
        std::size_t taken = 0;
        while (!c.ended && taken < kMaxReadPerPoll) {
            const ssize_t n = ::recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0) {
                // Acknowledge at once: a server that delays its small writes until
                // acknowledged (Nagle) would otherwise wait for our delayed ACK.
                const int on = 1;
                ::setsockopt(c.fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
                taken += static_cast<std::size_t>(n);
                if (c.telnet)
                    c.receiver.feed(reinterpret_cast<const unsigned char*>(buf), static_cast<std::size_t>(n),
                                    c.pending, replies);
                else
                    c.pending.append(buf, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                break;
            c.ended = true;  // 0: the server closed; else the connection broke
        }
        if (!replies.empty())
            sendControl(c, replies);
    }

    HandleTable<Connection> connections_;
};

} // namespace

SerialBackend& socketBackend()
{
    static SocketBackend backend;
    return backend;
}

} // namespace korvel::serial::platform
