// What the component needs from the operating system's serial devices and
// threads, kept behind one interface so another platform can supply its own.
#pragma once

#include "../SerialPort.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace korvel::serial::platform {

// The line settings in the terms of a device-control record.
struct LineSettings {
    enum class Dtr : std::uint8_t { Disable, Enable };
    enum class Rts : std::uint8_t { Disable, Enable, Handshake };

    std::int32_t baudRate = 0;
    std::uint8_t byteSize = 8;   // 5 ... 8
    std::uint8_t parity = 0;     // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t stopBits = 0;   // 0 one, 1 one and a half, 2 two
    Dtr dtrControl = Dtr::Disable;
    Rts rtsControl = Rts::Disable;
    bool outxCtsFlow = false;
    bool outX = false;
    bool inX = false;
    char xonChar = 0x11;
    char xoffChar = 0x13;
};

// Milliseconds. A write of n bytes may take writeTotalConstant +
// writeTotalMultiplier * n; both zero means no limit.
struct Timeouts {
    std::uint32_t readInterval = 0xFFFFFFFFu;
    std::uint32_t readTotalMultiplier = 0;
    std::uint32_t readTotalConstant = 0;
    std::uint32_t writeTotalMultiplier = 0;
    std::uint32_t writeTotalConstant = 0;
};

enum class Escape : std::uint8_t { SetBreak, ClearBreak, SetDtr, ClearDtr, SetRts, ClearRts, SetXon, SetXoff };

enum Purge : unsigned {
    PurgeTxAbort = 1u,
    PurgeRxAbort = 2u,
    PurgeTxClear = 4u,
    PurgeRxClear = 8u,
    PurgeAll = 15u,
};

// Modem status bits as the line reports them.
constexpr unsigned kModemCts = 0x10, kModemDsr = 0x20, kModemRing = 0x40, kModemCd = 0x80;

class SerialBackend {
public:
    virtual ~SerialBackend() = default;

    // Opens the device for reading and writing, shared with nobody. On failure
    // returns kInvalidHandle and sets errorCode.
    virtual DeviceHandle open(const std::string& path, int& errorCode) = 0;
    virtual bool applyLineSettings(DeviceHandle h, const LineSettings& s) = 0;
    virtual bool applyTimeouts(DeviceHandle h, const Timeouts& t) = 0;
    virtual bool applyBufferSizes(DeviceHandle h, std::uint32_t input, std::uint32_t output) = 0;
    // Blocks until every byte is accepted or the write time-out passes; the count accepted.
    virtual std::size_t write(DeviceHandle h, const void* data, std::size_t size) = 0;
    // Received bytes waiting; -1 when the device cannot say.
    virtual std::int64_t bytesWaiting(DeviceHandle h) = 0;
    // Never waits; the count read, -1 on failure.
    virtual std::int64_t read(DeviceHandle h, void* data, std::size_t size) = 0;
    virtual bool modemStatus(DeviceHandle h, unsigned& status) = 0;
    virtual bool purge(DeviceHandle h, unsigned what) = 0;
    virtual bool escape(DeviceHandle h, Escape what) = 0;
    // Waits until what was written has left the device. A socket has no line
    // to wait for: the bytes are the server's once sent, so it returns at once.
    virtual bool drain(DeviceHandle h) = 0;
    // The rate the far end's line runs at, as a device server last confirmed
    // it; 0 when nobody confirms (a local device runs at the rate it was set to).
    virtual std::uint32_t confirmedBaudRate(DeviceHandle h) = 0;
    virtual bool close(DeviceHandle h) = 0;
    // The system's text for an error code.
    virtual std::string errorText(int errorCode) = 0;

    // System timer resolution; false when the platform has nothing to request.
    virtual bool beginTimerPeriod(unsigned ms) = 0;
    virtual bool endTimerPeriod(unsigned ms) = 0;

    // Threads: an id of the calling thread that setThreadPriority accepts.
    virtual std::uint64_t currentThreadId() = 0;
    // False with errorCode set when the system refuses the level.
    virtual bool setThreadPriority(std::uint64_t threadId, TThreadPriority priority, int& errorCode) = 0;
};

// The backend of the platform the program was built for.
SerialBackend& systemBackend();

} // namespace korvel::serial::platform
