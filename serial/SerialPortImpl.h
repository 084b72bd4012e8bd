// The component's state, shared by the main thread and the receive threads.
#pragma once

#include "ComThread.h"
#include "SerialPort.h"
#include "platform/PortDirectory.h"
#include "platform/SerialBackend.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace korvel::serial {

// Calls the synchronising hook when one is installed, else runs inline.
void syncCallOnMainThread(const std::function<void()>& call);
void pumpMainThreadEvents();

// The last error of a failed opening, per thread as the platform keeps it.
void setLastOpenError(int code);
int lastOpenError();

struct TSerialPort::Impl {
    explicit Impl(TSerialPort* self) : self(self) {}

    TSerialPort* const self;
    platform::SerialBackend& backend = platform::systemBackend();
    platform::PortDirectory& ports = platform::systemPortDirectory();

    mutable std::mutex nameMutex;  // FPort, FCustomPortName
    std::string FPort;
    std::string FCustomPortName;
    std::atomic<std::int32_t> FBaudRate{4800};
    std::atomic<std::int32_t> FCustomBaudRate{0};
    std::atomic<std::uint8_t> FDataWidth{8};
    std::atomic<std::uint8_t> FParity{0};
    std::atomic<std::uint8_t> FStopBits{0};
    std::atomic<bool> FEnableDTROnOpen{true};
    std::atomic<bool> FEnableRTSOnOpen{true};
    std::atomic<THwFlowControl> FHwFlowControl{hfNONE};
    std::atomic<TSwFlowControl> FSwFlowControl{sfNONE};
    std::mutex readBufferMutex;
    std::string FReadBuffer;
    std::atomic<TLineStatusSet> FLineStatus{0};
    std::atomic<std::int32_t> FReadIntervalTimeout{-1};
    std::atomic<std::int32_t> FReadTotalTimeoutMultiplier{0};
    std::atomic<std::int32_t> FReadTotalTimeoutConstant{0};
    std::atomic<std::int32_t> FWriteTotalTimeoutMultiplier{100};
    std::atomic<std::int32_t> FWriteTotalTimeoutConstant{1000};
    std::atomic<TThreadPriority> FPriority{tpNormal};
    std::atomic<std::uint32_t> FDelay{50};
    std::atomic<std::uint32_t> FInputBuffer{4096};
    std::atomic<std::uint32_t> FOutputBuffer{4096};

    mutable std::mutex threadMutex;  // ComThread, threads
    std::shared_ptr<TComThread> ComThread;
    // Every thread started and not yet joined, the forgotten ones included.
    std::vector<std::shared_ptr<TComThread>> threads;

    // ConnectedTo in the low byte, the connection's generation above it: the
    // end of a forgotten thread clears only its own connection.
    std::atomic<std::uint64_t> connection{0};
    std::atomic<std::uint64_t> generations{0};

    std::atomic<int> sending{0};  // writes in progress, from any thread
    std::atomic<bool> FIsReceiving{false};
    std::atomic<bool> FNeedSynchronization{false};

    std::string port() const { std::lock_guard l(nameMutex); return FPort; }
    std::shared_ptr<TComThread> comThread() const { std::lock_guard l(threadMutex); return ComThread; }

    TCommPort connectedTo() const { return static_cast<TCommPort>(connection.load() & 0xFFu); }
    // ConnectedTo of the given connection: spNone once a newer one has begun.
    TCommPort connectedTo(std::uint64_t generation) const;
    std::uint64_t beginConnection();  // a new generation, ConnectedTo spNone
    void setConnectedTo(TCommPort port);
    void setConnectedTo(std::uint64_t generation, TCommPort port);

    bool ApplyCommState(DeviceHandle h);  // closes the connection when refused
    bool applyLineSettings(DeviceHandle h);
    bool ApplyTimeouts(DeviceHandle h);
    bool ApplyBufferSizes(DeviceHandle h);
    TLineStatusSet ReadLineStatus(DeviceHandle h);

    void reapplyCommState();
    void reapThreads();
    [[noreturn]] void raiseNotOpen() const;
    // The platform's text for an error, as the component's messages carry it.
    std::string reason(int errorCode) const;
    std::uint32_t send(const void* data, std::size_t size, bool passBytesToOnSend);
    std::mutex writeMutex;
    // Runs op on the open device under its shared lock; false when there is none.
    template <class Op> bool withDevice(Op op);
};

template <class Op> bool TSerialPort::Impl::withDevice(Op op)
{
    const auto t = comThread();
    if (!t)
        return false;
    std::shared_lock lock(t->deviceMutex());
    const DeviceHandle h = t->GetPortHandle();
    if (h == kInvalidHandle)
        return false;
    try {
        return op(h);
    } catch (...) {
        return false;
    }
}

} // namespace korvel::serial
