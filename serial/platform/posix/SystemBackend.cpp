// Routes each connection to the backend its name calls for: a URL to the
// sockets, anything else to the serial devices. The component sees one backend.
#include "Backends.h"

#include "../net/NetAddress.h"

#include <mutex>
#include <unordered_map>

namespace korvel::serial::platform {
namespace {

class SystemBackend final : public SerialBackend {
public:
    DeviceHandle open(const std::string& path, int& errorCode) override
    {
        SerialBackend& b = looksLikeUrl(path) ? socketBackend() : ttyBackend();
        const DeviceHandle h = b.open(path, errorCode);
        if (h != kInvalidHandle) {
            std::lock_guard lock(mutex_);
            owners_[h] = &b;
        }
        return h;
    }
    bool applyLineSettings(DeviceHandle h, const LineSettings& s) override { return of(h).applyLineSettings(h, s); }
    bool applyTimeouts(DeviceHandle h, const Timeouts& t) override { return of(h).applyTimeouts(h, t); }
    bool applyBufferSizes(DeviceHandle h, std::uint32_t i, std::uint32_t o) override
    {
        return of(h).applyBufferSizes(h, i, o);
    }
    std::size_t write(DeviceHandle h, const void* data, std::size_t size) override { return of(h).write(h, data, size); }
    std::int64_t bytesWaiting(DeviceHandle h) override { return of(h).bytesWaiting(h); }
    std::int64_t read(DeviceHandle h, void* data, std::size_t size) override { return of(h).read(h, data, size); }
    bool modemStatus(DeviceHandle h, unsigned& status) override { return of(h).modemStatus(h, status); }
    bool purge(DeviceHandle h, unsigned what) override { return of(h).purge(h, what); }
    bool escape(DeviceHandle h, Escape what) override { return of(h).escape(h, what); }
    bool drain(DeviceHandle h) override { return of(h).drain(h); }
    std::uint32_t confirmedBaudRate(DeviceHandle h) override { return of(h).confirmedBaudRate(h); }
    bool close(DeviceHandle h) override
    {
        SerialBackend& b = of(h);
        {
            std::lock_guard lock(mutex_);
            owners_.erase(h);
        }
        return b.close(h);
    }
    std::string errorText(int errorCode) override
    {
        return (errorCode > kResolveErrorBase ? socketBackend() : ttyBackend()).errorText(errorCode);
    }
    bool beginTimerPeriod(unsigned ms) override { return ttyBackend().beginTimerPeriod(ms); }
    bool endTimerPeriod(unsigned ms) override { return ttyBackend().endTimerPeriod(ms); }
    std::uint64_t currentThreadId() override { return ttyBackend().currentThreadId(); }
    bool setThreadPriority(std::uint64_t threadId, TThreadPriority priority, int& errorCode) override
    {
        return ttyBackend().setThreadPriority(threadId, priority, errorCode);
    }

private:
    // A handle nobody opened goes to the devices, which refuse it as the system does.
    SerialBackend& of(DeviceHandle h)
    {
        std::lock_guard lock(mutex_);
        auto it = owners_.find(h);
        return it == owners_.end() ? ttyBackend() : *it->second;
    }

    std::mutex mutex_;
    std::unordered_map<DeviceHandle, SerialBackend*> owners_;
};

} // namespace

SerialBackend& systemBackend()
{
    static SystemBackend backend;
    return backend;
}

} // namespace korvel::serial::platform
