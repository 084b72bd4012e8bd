#include "Line.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdexcept>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] auto r = ::write(g_signalPipe[1], &c, 1);
}

std::runtime_error sysError(const std::string& what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

void makeDirs(const std::string& dir)
{
    for (size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos == dir.size() || dir[pos] == '/') {
            const std::string part = dir.substr(0, pos);
            if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
                throw sysError("cannot create " + part);
        }
    }
}

std::string portMapDir()
{
    if (const char* d = std::getenv("KORVEL_PORT_MAP"); d && *d)
        return d;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.config/korvel/ports";
}

timespec toTimespec(std::chrono::nanoseconds d)
{
    if (d.count() < 0)
        d = std::chrono::nanoseconds(0);
    timespec ts;
    ts.tv_sec = static_cast<time_t>(d.count() / 1000000000);
    ts.tv_nsec = static_cast<long>(d.count() % 1000000000);
    return ts;
}

} // namespace

void Line::installSignalHandlers()
{
    if (::pipe(g_signalPipe) != 0)
        throw sysError("pipe");
    for (int fd : g_signalPipe) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(s, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
}

Line::Line(const Options& opt) : opt_(opt)
{
    if (opt.lineRate > 0)
        byteTime_ = std::chrono::nanoseconds(10'000'000'000LL / opt.lineRate); // 8N1: 10 bits a byte

    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0)
        throw sysError("posix_openpt");
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        throw sysError("grantpt/unlockpt");
    const char* name = ::ptsname(master_);
    if (!name)
        throw sysError("ptsname");
    device_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);

    // Our own slave descriptor keeps the master from seeing a hang-up each
    // time the controller closes the port, and keeps the raw settings alive.
    slave_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0)
        throw sysError("open " + device_);
    termios tio;
    if (::tcgetattr(slave_, &tio) != 0)
        throw sysError("tcgetattr");
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    if (::tcsetattr(slave_, TCSANOW, &tio) != 0)
        throw sysError("tcsetattr");

    const std::string dir = portMapDir();
    makeDirs(dir);
    link_ = dir + "/" + opt.port;
    ::unlink(link_.c_str());
    if (::symlink(device_.c_str(), link_.c_str()) != 0)
        throw sysError("cannot link " + link_);
    // Beside the link, a note that tells the controller's port list this is the simulator.
    marker_ = dir + "/." + opt.port + ".printer-sim";
    if (FILE* note = std::fopen(marker_.c_str(), "w")) {
        std::fputs(device_.c_str(), note);
        std::fclose(note);
    }
    lastArrival_ = lastStamp_ = nextSendSlot_ = Clock::now();
    for (int* pipeEnds : {wakePipe_, stopPipe_}) {
        if (::pipe(pipeEnds) != 0)
            throw sysError("pipe");
        for (int i = 0; i < 2; ++i) {
            ::fcntl(pipeEnds[i], F_SETFL, ::fcntl(pipeEnds[i], F_GETFL) | O_NONBLOCK);
            ::fcntl(pipeEnds[i], F_SETFD, FD_CLOEXEC);
        }
    }
    reader_ = std::thread([this] { readLoop(); });
}

void Line::readLoop()
{
    sigset_t all;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, nullptr); // signals are the main thread's
    for (;;) {
        pollfd fds[2] = {{stopPipe_[0], POLLIN, 0}, {master_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[0].revents)
            return;
        if (!fds[1].revents)
            continue;
        uint8_t buf[4096];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0) {
            // Cannot happen while we hold a slave descriptor; do not spin if it does.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        const TimePoint now = Clock::now();
        {
            std::lock_guard lock(arrivedMutex_);
            for (ssize_t i = 0; i < n; ++i) {
                lastStamp_ = std::max(now, lastStamp_ + byteTime_);
                arrived_.push_back({buf[i], lastStamp_});
            }
        }
        const char c = 1;
        [[maybe_unused]] auto r = ::write(wakePipe_[1], &c, 1); // a full pipe has told already
    }
}

void Line::stopReader()
{
    if (!reader_.joinable())
        return;
    const char c = 1;
    [[maybe_unused]] auto r = ::write(stopPipe_[1], &c, 1);
    reader_.join();
}

Line::~Line()
{
    hangUp();
    for (int fd : {wakePipe_[0], wakePipe_[1], stopPipe_[0], stopPipe_[1]})
        if (fd >= 0)
            ::close(fd);
}

void Line::removeLink()
{
    if (link_.empty())
        return;
    // Only our own link: another simulator may have taken the name since.
    char buf[4096];
    const ssize_t n = ::readlink(link_.c_str(), buf, sizeof buf - 1);
    if (n >= 0 && std::string(buf, static_cast<size_t>(n)) == device_) {
        ::unlink(link_.c_str());
        ::unlink(marker_.c_str());
    }
    link_.clear();
}

void Line::hangUp()
{
    stopReader();
    removeLink();
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = slave_ = -1;
}

int Line::waitFor(int fd, short events, TimePoint deadline)
{
    for (;;) {
        pollfd fds[2] = {{g_signalPipe[0], POLLIN, 0}, {fd, events, 0}};
        const nfds_t n = fd >= 0 ? 2 : 1;
        timespec ts;
        timespec* tsp = nullptr;
        if (deadline != TimePoint::max()) {
            ts = toTimespec(deadline - Clock::now());
            tsp = &ts;
        }
        const int r = ::ppoll(fds, n, tsp, nullptr);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            throw sysError("ppoll");
        }
        if (fds[0].revents)
            throw Stopped{};
        if (r == 0)
            return 0;
        if (n == 2 && fds[1].revents)
            return fds[1].revents;
    }
}

void Line::sleepUntil(TimePoint t)
{
    while (Clock::now() < t)
        waitFor(-1, 0, t);
}

bool Line::fill(TimePoint deadline)
{
    for (;;) {
        {
            std::lock_guard lock(arrivedMutex_);
            if (!arrived_.empty()) {
                pending_.insert(pending_.end(), arrived_.begin(), arrived_.end());
                arrived_.clear();
                return true;
            }
        }
        if (waitFor(wakePipe_[0], POLLIN, deadline) == 0)
            return false;
        char drain[64];
        while (::read(wakePipe_[0], drain, sizeof drain) > 0) {
        }
    }
}

std::optional<uint8_t> Line::take(TimePoint deadline)
{
    for (;;) {
        if (!pending_.empty()) {
            const Pending p = pending_.front();
            if (p.at > Clock::now()) {
                if (p.at > deadline) {
                    sleepUntil(deadline);
                    return std::nullopt;
                }
                sleepUntil(p.at);
            }
            pending_.pop_front();
            previousArrival_ = lastArrival_;
            lastArrival_ = p.at;
            ++received_;
            if (opt_.hangupAfter >= 0 && received_ >= opt_.hangupAfter)
                throw HungUp{};
            return p.byte;
        }
        if (!fill(deadline))
            return std::nullopt;
    }
}

void Line::unget(uint8_t b)
{
    pending_.push_front({b, lastArrival_});
    --received_;
}

bool Line::writeByteOrChunk(const char* p, size_t n)
{
    const TimePoint giveUp = Clock::now() + std::chrono::seconds(1);
    while (n > 0) {
        const ssize_t w = ::write(master_, p, n);
        if (w > 0) {
            p += w;
            n -= static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (waitFor(master_, POLLOUT, giveUp) == 0)
            return false;
    }
    return true;
}

bool Line::send(std::string_view bytes)
{
    if (master_ < 0)
        return false;
    const bool paced = byteTime_.count() > 0;
    if (!paced && !opt_.splitReplies)
        return writeByteOrChunk(bytes.data(), bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (opt_.splitReplies && i > 0)
            sleepMs(opt_.splitGapMs);
        if (paced) {
            nextSendSlot_ = std::max(nextSendSlot_, Clock::now());
            sleepUntil(nextSendSlot_);
            nextSendSlot_ += byteTime_;
        }
        if (!writeByteOrChunk(bytes.data() + i, 1))
            return false;
    }
    return true;
}

} // namespace sim
