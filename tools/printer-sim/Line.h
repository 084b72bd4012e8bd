// The printer's end of the serial line: a pseudo-terminal published in the port map.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "Options.h"

namespace sim {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

struct Stopped {}; // SIGINT/SIGTERM/SIGHUP arrived
struct HungUp {};  // --hangup-after reached

class Line {
public:
    explicit Line(const Options& opt);
    ~Line();
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    const std::string& devicePath() const { return device_; }
    const std::string& linkPath() const { return link_; }

    // The next byte whose arrival (at line pace) is no later than `deadline`.
    std::optional<uint8_t> take(TimePoint deadline);
    // Give back the byte just taken; it is taken again next.
    void unget(uint8_t b);
    TimePoint lastArrival() const { return lastArrival_; }
    // The quiet on the paced wire before the byte taken last.
    std::chrono::nanoseconds silenceBefore() const { return lastArrival_ - previousArrival_; }
    long received() const { return received_; }

    // Writes at line pace (or a byte at a time with --split-replies).
    // False when the line stayed full (nobody reads the port) and bytes were dropped.
    bool send(std::string_view bytes);

    // Interruptible sleep; throws Stopped on a signal.
    void sleepUntil(TimePoint t);
    void sleepMs(int ms) { sleepUntil(Clock::now() + std::chrono::milliseconds(ms)); }

    // Closes both ends and removes the link, as when the adapter is pulled.
    void hangUp();

    static void installSignalHandlers();

private:
    bool fill(TimePoint deadline);
    void readLoop();
    void stopReader();
    bool writeByteOrChunk(const char* p, size_t n);
    int waitFor(int fd, short events, TimePoint deadline);
    void removeLink();

    const Options& opt_;
    int master_ = -1;
    int slave_ = -1;
    std::string device_;
    std::string link_;
    std::string marker_;
    std::chrono::nanoseconds byteTime_{0};
    struct Pending { uint8_t byte; TimePoint at; };
    std::deque<Pending> pending_;
    // Bytes are stamped by a reader of their own as they arrive, so that the time
    // the printer spends on a command never shortens the silence it measures.
    std::thread reader_;
    int wakePipe_[2] = {-1, -1}; // the reader tells of arrivals
    int stopPipe_[2] = {-1, -1}; // hangUp tells the reader to stop
    std::mutex arrivedMutex_;
    std::deque<Pending> arrived_; // under arrivedMutex_
    TimePoint lastArrival_{};
    TimePoint previousArrival_{};
    TimePoint lastStamp_{}; // the reader's
    TimePoint nextSendSlot_{};
    long received_ = 0;
};

} // namespace sim
