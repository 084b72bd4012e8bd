// The serial port component: one connection to a device, line settings as
// properties, blocking writes on the calling thread, and a polling receive
// thread that reports what arrives through bound handlers. Plain C++: no Qt.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>
#include <bitset>

namespace korvel::serial {

// Port values: 0 none, 1 ... 254 "COM1" ... "COM254", 255 the custom name.
enum TCommPort : std::uint8_t { spNone = 0, spCOM1 = 1, spCOM5 = 5, spCOM7 = 7, spCOM30 = 30, spCOM254 = 254, spCustom = 255 };
constexpr TCommPort spCOM(int n) { return static_cast<TCommPort>(n); }

enum TBaudRate : std::uint8_t {
    br000075, br000110, br000134, br000150, br000300, br000600, br001200, br001800,
    br002400, br004800, br007200, br009600, br014400, br019200, br038400, br057600,
    br115200, br128000, br230400, br256000, br460800, br921600, brCustom
};
enum TDataWidth : std::uint8_t { dw5Bits, dw6Bits, dw7Bits, dw8Bits };
enum TStopBits : std::uint8_t { sb1Bit, sb1_5Bits, sb2Bits };
enum TParityBits : std::uint8_t { pbNone, pbOdd, pbEven, pbMark, pbSpace };
enum THwFlowControl : std::uint8_t { hfNONE, hfRTS, hfRTSCTS };
enum TSwFlowControl : std::uint8_t { sfNONE, sfXONXOFF };
enum TLineStatus : std::uint8_t { lsCTS, lsDSR, lsRING, lsCD };
enum TThreadPriority : std::uint8_t { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Bit n is element n.
using TLineStatusSet = std::uint8_t;
constexpr TLineStatusSet lineBit(TLineStatus s) { return static_cast<TLineStatusSet>(1u << s); }
using TCommPortSet = std::bitset<256>;

class TSerialPort;
using TSendReceiveEvent = std::function<void(TSerialPort* sender, const std::string& buffer)>;
using TLineStatusEvent = std::function<void(TSerialPort* sender, TLineStatusSet lineStatus)>;
using TConnectEvent = std::function<void(TSerialPort* sender, TCommPort port)>;

// Raised by the component with its English messages.
class SerialError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Hooks the application installs so the component can reach its main thread.
// syncCall runs the call on the main thread and waits for it (inline when the
// caller already is the main thread); pumpEvents serves the main thread's
// pending events once. Without them calls run inline and pumping does nothing.
struct MainThreadHooks {
    std::function<void(const std::function<void()>&)> syncCall;
    std::function<void()> pumpEvents;
};
void setMainThreadHooks(MainThreadHooks hooks);

using DeviceHandle = std::intptr_t;
constexpr DeviceHandle kInvalidHandle = -1;

class TComThread;

class TSerialPort {
public:
    TSerialPort();
    ~TSerialPort();
    TSerialPort(const TSerialPort&) = delete;
    TSerialPort& operator=(const TSerialPort&) = delete;

    // Published properties.
    TCommPort Port() const;
    void setPort(TCommPort value);
    TBaudRate BaudRate() const;
    void setBaudRate(TBaudRate value);
    TDataWidth DataWidth() const;
    void setDataWidth(TDataWidth value);   // throws SerialError on an invalid combination
    TStopBits StopBits() const;
    void setStopBits(TStopBits value);     // throws SerialError on an invalid combination
    TParityBits Parity() const;
    void setParity(TParityBits value);
    bool EnableDTROnOpen() const;
    void setEnableDTROnOpen(bool value);
    bool EnableRTSOnOpen() const;
    void setEnableRTSOnOpen(bool value);
    THwFlowControl HwFlowControl() const;
    void setHwFlowControl(THwFlowControl value);
    TSwFlowControl SwFlowControl() const;
    void setSwFlowControl(TSwFlowControl value);
    std::int32_t ReadIntervalTimeout() const;
    void setReadIntervalTimeout(std::int32_t v);
    std::int32_t ReadTotalTimeoutMultiplier() const;
    void setReadTotalTimeoutMultiplier(std::int32_t v);
    std::int32_t ReadTotalTimeoutConstant() const;
    void setReadTotalTimeoutConstant(std::int32_t v);
    std::int32_t WriteTotalTimeoutMultiplier() const;
    void setWriteTotalTimeoutMultiplier(std::int32_t v);
    std::int32_t WriteTotalTimeoutConstant() const;
    void setWriteTotalTimeoutConstant(std::int32_t v);
    std::uint32_t InputBuffer() const;
    void setInputBuffer(std::uint32_t v);
    std::uint32_t OutputBuffer() const;
    void setOutputBuffer(std::uint32_t v);
    TThreadPriority Priority() const;
    void setPriority(TThreadPriority v);
    std::uint32_t Delay() const;
    void setDelay(std::uint32_t v);
    std::string CustomPortName() const;
    void setCustomPortName(const std::string& v);
    std::int32_t CustomBaudRate() const;
    void setCustomBaudRate(std::int32_t v);

    // Events. Assign before Open; they are read by the receive thread.
    TSendReceiveEvent OnReceive;
    TSendReceiveEvent OnSend;
    TLineStatusEvent OnLineStatusChange;
    TConnectEvent OnConnect;
    TConnectEvent OnDisconnect;
    // Fired once by the receive thread when the open device stops answering
    // (an unplugged adapter, a closed terminal, a dropped network connection).
    // The port stays open until Close.
    TConnectEvent OnDeviceLost;

    // Public, not stored.
    bool IsSending() const;
    bool IsReceiving() const;
    bool NeedSynchronization() const;
    void setNeedSynchronization(bool v);
    double Version() const { return 1.5; }

    // Operations.
    void Open();                 // throws SerialError "Cannot connect to %s . %s"
    void Close();                // never throws
    TCommPort IsConnected() const;
    TCommPort StringToCommPort(const std::string& port) const;
    std::string CommPortToString(TCommPort port) const;
    std::int32_t BaudRateToInt(TBaudRate rate) const;
    TBaudRate IntToBaudRate(std::int32_t value) const;
    std::uint32_t SendString(const std::string& str);                  // throws "<port> is not open."
    std::uint32_t SendData(const void* data, std::uint32_t dataSize);  // throws "<port> is not open."
    // Waits until the bytes written have left the port; false when the port cannot tell.
    bool Drain();
    // The bit/s the bytes cross the line at: the rate a device server confirmed
    // (RFC 2217), which may differ from the one asked for; else BaudRate's.
    std::int32_t LineRate() const;
    bool SetBreak(bool onOff);
    bool SetDTR(bool onOff);
    bool SetRTS(bool onOff);
    bool SetXonXoff(bool onOff);
    bool ClearInputBuffer();
    bool ClearOutputBuffer();
    bool GetCTS();
    bool GetDSR();
    bool GetRING();
    bool GetCD();
    TCommPortSet GetExistingCommPorts() const;
    void GetExistingCommPortNames(std::vector<std::string>& strings) const;

    // The device name Open would use for the current port (port map lookup).
    std::string devicePath() const;

private:
    friend class TComThread;
    // Implementation defined by serial/SerialPort.cpp; fields shared with the
    // receive thread are atomics or guarded by mutex_.
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace korvel::serial
