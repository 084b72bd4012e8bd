// The receive thread of a TSerialPort: one per connection. Constructing it
// opens the device on the calling thread; its body then polls the device and
// relays what arrives through the component's handlers.
#pragma once

#include "SerialPort.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>

namespace korvel::serial {

class TComThread {
public:
    // Opens the device named by the owner's port and starts polling. A failed
    // opening leaves GetPortHandle() invalid and the thread ends at once.
    explicit TComThread(TSerialPort* AOwner);
    ~TComThread();  // joins unless called on the thread itself
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    DeviceHandle GetPortHandle() const { return ComDevice.load(); }
    void Terminate() { terminated_.store(true); }
    bool Terminated() const { return terminated_.load(); }
    // True once the body and the clean-up are over: nothing of the owner is touched any more.
    bool Finished() const { return finished_.load(); }
    bool isCurrentThread() const { return std::this_thread::get_id() == threadId_.load(); }
    void join();
    // False with errorCode set when the system refuses; the thread keeps its level.
    bool setPriority(TThreadPriority priority, int& errorCode);
    std::uint64_t generation() const { return generation_; }

    // Shared by every user of the device, taken exclusively to release it.
    std::shared_mutex& deviceMutex() { return deviceMutex_; }

private:
    void run();
    void Execute();
    void Finish();
    bool running() const { return !terminated_.load() && ComDevice.load() != kInvalidHandle; }

    void deliver(void (TComThread::*relay)());
    void DoReceive();
    void DoLineStatusChange();
    void DoConnect();
    void DoDisconnect();
    void DoDeviceLost();

    TSerialPort* const Owner;
    std::atomic<DeviceHandle> ComDevice{kInvalidHandle};
    std::uint64_t generation_ = 0;
    std::string received_;  // the batch being delivered; receive thread (and its synchronised relay) only
    bool lostReported_ = false;  // receive thread only
    std::shared_mutex deviceMutex_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::atomic<std::thread::id> threadId_{};

    std::mutex priorityMutex_;
    TThreadPriority priority_ = tpNormal;
    std::uint64_t systemThreadId_ = 0;

    std::thread thread_;
};

} // namespace korvel::serial
