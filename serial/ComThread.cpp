#include "ComThread.h"

#include "SerialPortImpl.h"

#include <chrono>
#include <exception>

namespace korvel::serial {

TComThread::TComThread(TSerialPort* AOwner) : Owner(AOwner)
{
    TSerialPort::Impl& d = *Owner->d;
    generation_ = d.beginConnection();
    priority_ = d.FPriority.load();

    const std::string path = Owner->devicePath();
    int error = 0;
    const DeviceHandle h = d.backend.open(path, error);
    if (h == kInvalidHandle) {
        setLastOpenError(error);
        Owner->Close();
    } else {
        ComDevice.store(h);
        // A device that refuses a setting is still taken as open.
        d.ApplyCommState(h);
        d.ApplyTimeouts(h);
        d.ApplyBufferSizes(h);
        d.setConnectedTo(generation_, Owner->StringToCommPort(d.port()));
        try {
            deliver(&TComThread::DoConnect);
        } catch (...) {
        }
    }

    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error& e) {
        if (ComDevice.load() != kInvalidHandle) {
            d.backend.close(ComDevice.exchange(kInvalidHandle));
            d.setConnectedTo(generation_, spNone);
        }
        setLastOpenError(e.code().value());
        finished_.store(true);
    }
}

TComThread::~TComThread()
{
    if (!thread_.joinable())
        return;
    if (std::this_thread::get_id() == thread_.get_id())
        thread_.detach();
    else
        thread_.join();
}

void TComThread::join()
{
    if (thread_.joinable() && std::this_thread::get_id() != thread_.get_id())
        thread_.join();
}

bool TComThread::setPriority(TThreadPriority priority, int& errorCode)
{
    std::lock_guard lock(priorityMutex_);
    if (systemThreadId_ != 0 && !Owner->d->backend.setThreadPriority(systemThreadId_, priority, errorCode))
        return false;
    priority_ = priority;
    return true;
}

void TComThread::run()
{
    threadId_.store(std::this_thread::get_id());
    platform::SerialBackend& backend = Owner->d->backend;
    {
        std::lock_guard lock(priorityMutex_);
        systemThreadId_ = backend.currentThreadId();
        // Best effort at the start: the property's write reports a refusal.
        int error = 0;
        if (priority_ != tpNormal && !backend.setThreadPriority(systemThreadId_, priority_, error))
            priority_ = tpNormal;
    }
    try {
        Execute();
    } catch (...) {
    }
    Finish();
    {
        std::lock_guard lock(priorityMutex_);
        systemThreadId_ = 0;
    }
    finished_.store(true);
}

void TComThread::Execute()
{
    TSerialPort::Impl& d = *Owner->d;
    while (running()) {
        try {
            const TLineStatusSet lines = d.ReadLineStatus(ComDevice.load());
            if (lines != d.FLineStatus.load()) {
                d.FLineStatus.store(lines);
                deliver(&TComThread::DoLineStatusChange);
            }
        } catch (...) {
        }
        if (!running())
            break;

        try {
            const DeviceHandle h = ComDevice.load();
            const std::int64_t waiting = d.backend.bytesWaiting(h);
            const std::size_t n = waiting > 0 ? static_cast<std::size_t>(waiting) : 0;
            // An open device that cannot say what is queued has gone away.
            if (waiting < 0 && !lostReported_) {
                lostReported_ = true;
                deliver(&TComThread::DoDeviceLost);
            }
            if (running() && n > 0) {
                d.FIsReceiving.store(true);
                received_.assign(n + 1, '\0');
                const std::int64_t got = d.backend.read(h, received_.data(), n);
                if (got > 0) {
                    received_.resize(static_cast<std::size_t>(got));
                    {
                        std::lock_guard lock(d.readBufferMutex);
                        d.FReadBuffer = received_;
                    }
                    deliver(&TComThread::DoReceive);
                }
                d.FIsReceiving.store(false);
            }
        } catch (...) {
            d.FIsReceiving.store(false);
        }
        if (!running())
            break;

        const std::uint32_t pause = d.FDelay.load();
        if (pause == 0)
            std::this_thread::yield();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    }
}

void TComThread::Finish()
{
    TSerialPort::Impl& d = *Owner->d;
    try {
        deliver(&TComThread::DoDisconnect);
    } catch (...) {
    }
    const DeviceHandle h = ComDevice.load();
    if (h != kInvalidHandle) {
        try {
            // Ends a write under way on another thread, so the lock comes at once.
            d.backend.purge(h, platform::PurgeTxAbort | platform::PurgeRxAbort);
        } catch (...) {
        }
        try {
            // Waits for sends on other threads to leave the device.
            std::unique_lock lock(deviceMutex_);
            d.backend.purge(h, platform::PurgeAll);
            ComDevice.store(kInvalidHandle);
            d.backend.close(h);
        } catch (...) {
        }
    }
    d.setConnectedTo(generation_, spNone);
}

void TComThread::deliver(void (TComThread::*relay)())
{
    if (!Owner->d->FNeedSynchronization.load()) {
        (this->*relay)();
        return;
    }
    // The handler's exception comes back to this thread, not into the main thread's loop.
    std::exception_ptr failure;
    syncCallOnMainThread([&] {
        try {
            (this->*relay)();
        } catch (...) {
            failure = std::current_exception();
        }
    });
    if (failure)
        std::rethrow_exception(failure);
}

void TComThread::DoReceive()
{
    if (Owner->OnReceive)
        Owner->OnReceive(Owner, received_);
}

void TComThread::DoLineStatusChange()
{
    if (Owner->OnLineStatusChange)
        Owner->OnLineStatusChange(Owner, Owner->d->FLineStatus.load());
}

void TComThread::DoConnect()
{
    const TCommPort port = Owner->d->connectedTo(generation_);
    if (Owner->OnConnect && port != spNone)
        Owner->OnConnect(Owner, port);
}

void TComThread::DoDeviceLost()
{
    const TCommPort port = Owner->d->connectedTo(generation_);
    if (Owner->OnDeviceLost && port != spNone)
        Owner->OnDeviceLost(Owner, port);
}

void TComThread::DoDisconnect()
{
    const TCommPort port = Owner->d->connectedTo(generation_);
    if (Owner->OnDisconnect && port != spNone)
        Owner->OnDisconnect(Owner, port);
}

} // namespace korvel::serial
