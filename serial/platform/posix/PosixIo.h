// What the device and the socket backends do alike: the state kept for each
// open handle, and a write to a non-blocking descriptor within the port's
// write time-out that an aborting purge can stop.
#pragma once

#include "../SerialBackend.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include <sys/types.h>

namespace korvel::serial::platform {

using Clock = std::chrono::steady_clock;

// A backend's state for each open handle, reached from any thread; a handle
// being closed keeps its state alive for the calls still holding it.
template <class State>
class HandleTable {
public:
    void add(DeviceHandle h, std::shared_ptr<State> state)
    {
        std::lock_guard lock(mutex_);
        states_[h] = std::move(state);
    }
    std::shared_ptr<State> find(DeviceHandle h) const
    {
        std::lock_guard lock(mutex_);
        const auto it = states_.find(h);
        return it == states_.end() ? nullptr : it->second;
    }
    // Removes the handle's state and hands it back, null when there was none.
    std::shared_ptr<State> take(DeviceHandle h)
    {
        std::lock_guard lock(mutex_);
        const auto it = states_.find(h);
        if (it == states_.end())
            return nullptr;
        std::shared_ptr<State> state = std::move(it->second);
        states_.erase(it);
        return state;
    }

private:
    mutable std::mutex mutex_;
    std::unordered_map<DeviceHandle, std::shared_ptr<State>> states_;
};

// When a write must be over; unbounded when the time-outs set no limit.
struct WriteDeadline {
    bool bounded = false;
    Clock::time_point at;
};
WriteDeadline writeDeadline(const Timeouts& t, std::size_t size);

// One non-blocking attempt, as write(2) or send(2): the count, or -1 with errno.
using PutBytes = ssize_t (*)(int fd, const void* data, std::size_t size);

// Puts all of data unless the deadline passes, the descriptor fails or an
// aborting purge comes (aborts no longer equals seen); the count put.
std::size_t writeWithin(int fd, PutBytes put, const void* data, std::size_t size, const WriteDeadline& deadline,
                        const std::atomic<std::uint64_t>& aborts, std::uint64_t seen);

std::string systemErrorText(int errorCode);

} // namespace korvel::serial::platform
