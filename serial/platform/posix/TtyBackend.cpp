// POSIX serial devices: termios for the line, ioctl for the modem lines and
// exclusivity, flock so that a second opening of the device fails.
#include "../SerialBackend.h"
#include "CustomSpeed.h"
#include "PosixIo.h"

#include <atomic>
#include <cerrno>
#include <memory>
#include <mutex>

#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

namespace korvel::serial::platform {
namespace {

speed_t standardSpeed(std::int32_t rate)
{
    switch (rate) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 1152000: return B1152000;
    case 1500000: return B1500000;
    case 2000000: return B2000000;
    default: return B0;
    }
}

int toFd(DeviceHandle h) { return static_cast<int>(h); }

// Whether this process may lower a thread's nice value again (CAP_SYS_NICE or RLIMIT_NICE).
bool mayRaiseNice()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NICE, &limit) == 0 && (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= 20))
        return true;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    return (data[CAP_TO_INDEX(CAP_SYS_NICE)].effective & CAP_TO_MASK(CAP_SYS_NICE)) != 0;
}

struct Device {
    std::mutex mutex;  // timeouts
    Timeouts timeouts;
    // Raised by an aborting purge: writes under way give up at their next look.
    std::atomic<std::uint64_t> aborts{0};
};

class TtyBackend final : public SerialBackend {
public:
    DeviceHandle open(const std::string& path, int& errorCode) override
    {
        // O_NONBLOCK keeps open from waiting for carrier and lets write keep its own time-out.
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            errorCode = errno;
            return kInvalidHandle;
        }
        int failure = 0;
        if (!::isatty(fd))
            failure = ENOTTY;
        else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
            failure = (errno == EWOULDBLOCK) ? EBUSY : errno;
        else if (::ioctl(fd, TIOCEXCL) != 0)
            failure = errno;
        if (failure != 0) {
            ::close(fd);
            errorCode = failure;
            return kInvalidHandle;
        }
        devices_.add(fd, std::make_shared<Device>());
        return fd;
    }

    bool applyLineSettings(DeviceHandle h, const LineSettings& s) override
    {
        const int fd = toFd(h);
        if (s.baudRate <= 0)
            return false;
        termios tio{};
        if (::tcgetattr(fd, &tio) != 0)
            return false;
        ::cfmakeraw(&tio);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
        // HUPCL: DTR drops when the device is released, as it does on Win32.
        tio.c_cflag |= CREAD | CLOCAL | HUPCL;
        // A break on the line is no data: without IGNBRK it would read as a zero byte.
        tio.c_iflag |= IGNBRK;
        tio.c_iflag &= ~static_cast<tcflag_t>(BRKINT | PARMRK);
        switch (s.byteSize) {
        case 5: tio.c_cflag |= CS5; break;
        case 6: tio.c_cflag |= CS6; break;
        case 7: tio.c_cflag |= CS7; break;
        default: tio.c_cflag |= CS8; break;
        }
        switch (s.parity) {
        case 1: tio.c_cflag |= PARENB | PARODD; break;
        case 2: tio.c_cflag |= PARENB; break;
        case 3: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
        case 4: tio.c_cflag |= PARENB | CMSPAR; break;
        default: break;
        }
        // One and a half stop bits do not exist here; two is the nearest.
        if (s.stopBits != 0)
            tio.c_cflag |= CSTOPB;
        if (s.rtsControl == LineSettings::Rts::Handshake || s.outxCtsFlow)
            tio.c_cflag |= CRTSCTS;
        tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
        if (s.outX)
            tio.c_iflag |= IXON;
        if (s.inX)
            tio.c_iflag |= IXOFF;
        tio.c_cc[VSTART] = static_cast<cc_t>(s.xonChar);
        tio.c_cc[VSTOP] = static_cast<cc_t>(s.xoffChar);
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;

        const speed_t speed = standardSpeed(s.baudRate);
        if (speed != B0) {
            ::cfsetispeed(&tio, speed);
            ::cfsetospeed(&tio, speed);
        }
        if (::tcsetattr(fd, TCSANOW, &tio) != 0)
            return false;
        // Drivers drop what they cannot do (a pseudo-terminal carries neither
        // parity nor short characters) and still report success.
        termios now{};
        if (::tcgetattr(fd, &now) != 0)
            return false;
        const tcflag_t format = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
        const tcflag_t flow = IXON | IXOFF;
        if ((now.c_cflag & format) != (tio.c_cflag & format) || (now.c_iflag & flow) != (tio.c_iflag & flow))
            return false;
        if (speed == B0 && !setCustomSpeed(fd, s.baudRate))
            return false;

        // A device without modem lines (a pseudo-terminal) refuses these; the line is usable all the same.
        int dtr = TIOCM_DTR;
        ::ioctl(fd, s.dtrControl == LineSettings::Dtr::Enable ? TIOCMBIS : TIOCMBIC, &dtr);
        int rts = TIOCM_RTS;
        ::ioctl(fd, s.rtsControl == LineSettings::Rts::Disable ? TIOCMBIC : TIOCMBIS, &rts);
        return true;
    }

    bool applyTimeouts(DeviceHandle h, const Timeouts& t) override
    {
        const std::shared_ptr<Device> device = devices_.find(h);
        if (!device)
            return false;
        std::lock_guard lock(device->mutex);
        device->timeouts = t;
        return true;
    }

    bool applyBufferSizes(DeviceHandle, std::uint32_t, std::uint32_t) override
    {
        // The driver's queues have a fixed size here.
        return true;
    }

    std::size_t write(DeviceHandle h, const void* data, std::size_t size) override
    {
        const std::shared_ptr<Device> device = devices_.find(h);
        if (!device)
            return 0;
        Timeouts t;
        {
            std::lock_guard lock(device->mutex);
            t = device->timeouts;
        }
        const std::uint64_t aborts = device->aborts.load();
        return writeWithin(toFd(h), ::write, data, size, writeDeadline(t, size), device->aborts, aborts);
    }

    std::int64_t bytesWaiting(DeviceHandle h) override
    {
        int n = 0;
        if (::ioctl(toFd(h), FIONREAD, &n) != 0)
            return -1;
        return n;
    }

    std::int64_t read(DeviceHandle h, void* data, std::size_t size) override
    {
        for (;;) {
            const ssize_t n = ::read(toFd(h), data, size);
            if (n >= 0)
                return n;
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return 0;
            return -1;
        }
    }

    bool modemStatus(DeviceHandle h, unsigned& status) override
    {
        int bits = 0;
        if (::ioctl(toFd(h), TIOCMGET, &bits) != 0)
            return false;
        status = 0;
        if (bits & TIOCM_CTS)
            status |= kModemCts;
        if (bits & TIOCM_DSR)
            status |= kModemDsr;
        if (bits & TIOCM_RNG)
            status |= kModemRing;
        if (bits & TIOCM_CAR)
            status |= kModemCd;
        return true;
    }

    bool purge(DeviceHandle h, unsigned what) override
    {
        if (what & PurgeTxAbort) {
            if (const auto device = devices_.find(h))
                device->aborts.fetch_add(1);
        }
        const bool rx = (what & (PurgeRxAbort | PurgeRxClear)) != 0;
        const bool tx = (what & (PurgeTxAbort | PurgeTxClear)) != 0;
        if (!rx && !tx)
            return false;
        return ::tcflush(toFd(h), rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH) == 0;
    }

    bool escape(DeviceHandle h, Escape what) override
    {
        const int fd = toFd(h);
        int dtr = TIOCM_DTR;
        int rts = TIOCM_RTS;
        switch (what) {
        case Escape::SetBreak: return ::ioctl(fd, TIOCSBRK) == 0;
        case Escape::ClearBreak: return ::ioctl(fd, TIOCCBRK) == 0;
        case Escape::SetDtr: return ::ioctl(fd, TIOCMBIS, &dtr) == 0;
        case Escape::ClearDtr: return ::ioctl(fd, TIOCMBIC, &dtr) == 0;
        case Escape::SetRts: return ::ioctl(fd, TIOCMBIS, &rts) == 0;
        case Escape::ClearRts: return ::ioctl(fd, TIOCMBIC, &rts) == 0;
        // As if XON respectively XOFF had arrived: output resumes or stops.
        case Escape::SetXon: return ::tcflow(fd, TCOON) == 0;
        case Escape::SetXoff: return ::tcflow(fd, TCOOFF) == 0;
        }
        return false;
    }

    bool drain(DeviceHandle h) override { return ::tcdrain(toFd(h)) == 0; }
    std::uint32_t confirmedBaudRate(DeviceHandle) override { return 0; }

    bool close(DeviceHandle h) override
    {
        const int fd = toFd(h);
        devices_.take(h);
        // The exclusive flag outlives our descriptor when others hold the terminal open.
        ::ioctl(fd, TIOCNXCL);
        return ::close(fd) == 0;
    }

    std::string errorText(int errorCode) override { return systemErrorText(errorCode); }

    bool beginTimerPeriod(unsigned) override { return false; }
    bool endTimerPeriod(unsigned) override { return false; }

    std::uint64_t currentThreadId() override { return static_cast<std::uint64_t>(::syscall(SYS_gettid)); }

    bool setThreadPriority(std::uint64_t threadId, TThreadPriority priority, int& errorCode) override
    {
        // Nice values per thread. Going back up from a raised nice value needs
        // privileges, so without them the lower levels use the batch policy at
        // nice 0 instead, which the thread can always leave again.
        static constexpr int kNice[] = {19, 10, 5, 0, -5, -10, -20};
        if (priority > tpTimeCritical)
            priority = tpNormal;
        const auto tid = static_cast<pid_t>(threadId);
        const bool reversible = priority >= tpNormal || mayRaiseNice();
        const int nice = reversible ? kNice[priority] : 0;
        const int policy = priority == tpIdle && reversible ? SCHED_IDLE
                         : priority < tpNormal             ? SCHED_BATCH
                                                           : SCHED_OTHER;
        sched_param param{};
        if (::sched_setscheduler(tid, policy, &param) != 0
            || ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) != 0) {
            errorCode = errno;
            return false;
        }
        return true;
    }

private:
    HandleTable<Device> devices_;
};

} // namespace

SerialBackend& ttyBackend()
{
    static TtyBackend backend;
    return backend;
}

} // namespace korvel::serial::platform
