// A pseudo-terminal for the component to open: the test talks on the master
// side and keeps one slave descriptor of its own, so the terminal lives on
// while the component opens and closes it, and its settings can be read.
#pragma once

#include <chrono>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

class PtyPair {
public:
    PtyPair()
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            return;
        char name[128];
        if (::ptsname_r(master_, name, sizeof name) != 0)
            return;
        slavePath_ = name;
        slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    ~PtyPair()
    {
        if (slave_ >= 0)
            ::close(slave_);
        if (master_ >= 0)
            ::close(master_);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0 && slave_ >= 0; }
    const std::string& slavePath() const { return slavePath_; }
    int slaveFd() const { return slave_; }

    // The device goes away, as an unplugged adapter does.
    void hangUp()
    {
        ::close(master_);
        master_ = -1;
    }

    // What the device "sends" to the component.
    bool send(const std::string& bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
                continue;
            }
            pollfd p{master_, POLLOUT, 0};
            if (::poll(&p, 1, 2000) <= 0)
                return false;
        }
        return true;
    }

    // What the component wrote: reads until `count` bytes have come or the
    // line has been quiet for quietMs.
    std::string receive(std::size_t count, int quietMs = 2000)
    {
        std::string got;
        char buf[4096];
        while (got.size() < count) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, quietMs) <= 0)
                break;
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0)
                break;
            got.append(buf, static_cast<std::size_t>(n));
        }
        return got;
    }

    // Everything that arrives until the line has been quiet for quietMs.
    std::string drain(int quietMs = 200) { return receive(std::string::npos, quietMs); }

    termios settings() const
    {
        termios t{};
        ::tcgetattr(slave_, &t);
        return t;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

// Speed of the terminal in bits per second, custom speeds included.
int deviceSpeed(int fd);
