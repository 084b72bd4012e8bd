#include "SerialPort.h"

#include "ComThread.h"
#include "SerialPortImpl.h"

#include <chrono>
#include <cstring>
#include <limits>
#include <thread>
#include <utility>

namespace korvel::serial {
namespace {

std::mutex g_hooksMutex;
std::shared_ptr<const MainThreadHooks> g_hooks;

std::shared_ptr<const MainThreadHooks> hooks()
{
    std::lock_guard lock(g_hooksMutex);
    return g_hooks;
}

thread_local int t_lastOpenError = 0;

bool isBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string trimmed(const std::string& s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

constexpr std::int32_t kRates[] = {75,    110,   134,   150,    300,    600,    1200,   1800,
                                   2400,  4800,  7200,  9600,   14400,  19200,  38400,  57600,
                                   115200, 128000, 230400, 256000, 460800, 921600};
static_assert(std::size(kRates) == brCustom);

const char kInvalidCombination[] = "Invalid data-width and stop-bits combination.";

void sleepMs(std::uint32_t ms)
{
    if (ms == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

void setMainThreadHooks(MainThreadHooks h)
{
    auto installed = std::make_shared<const MainThreadHooks>(std::move(h));
    std::lock_guard lock(g_hooksMutex);
    g_hooks = std::move(installed);
}

void syncCallOnMainThread(const std::function<void()>& call)
{
    const auto h = hooks();
    if (h && h->syncCall)
        h->syncCall(call);
    else
        call();
}

void pumpMainThreadEvents()
{
    const auto h = hooks();
    if (h && h->pumpEvents)
        h->pumpEvents();
}

void setLastOpenError(int code) { t_lastOpenError = code; }
int lastOpenError() { return t_lastOpenError; }

// ---- connection state ------------------------------------------------------

TCommPort TSerialPort::Impl::connectedTo(std::uint64_t generation) const
{
    const std::uint64_t v = connection.load();
    return (v >> 8) == generation ? static_cast<TCommPort>(v & 0xFFu) : spNone;
}

std::uint64_t TSerialPort::Impl::beginConnection()
{
    const std::uint64_t g = generations.fetch_add(1) + 1;
    connection.store(g << 8);
    return g;
}

void TSerialPort::Impl::setConnectedTo(TCommPort port)
{
    std::uint64_t v = connection.load();
    while (!connection.compare_exchange_weak(v, (v & ~std::uint64_t{0xFF}) | port)) {
    }
}

void TSerialPort::Impl::setConnectedTo(std::uint64_t generation, TCommPort port)
{
    std::uint64_t v = connection.load();
    while ((v >> 8) == generation && !connection.compare_exchange_weak(v, (generation << 8) | port)) {
    }
}

// ---- steps on the device ---------------------------------------------------

bool TSerialPort::Impl::ApplyCommState(DeviceHandle h)
{
    if (h == kInvalidHandle)
        return false;
    const bool accepted = applyLineSettings(h);
    if (!accepted)
        self->Close();
    return accepted;
}

bool TSerialPort::Impl::applyLineSettings(DeviceHandle h)
{
    if (h == kInvalidHandle)
        return false;
    try {
        platform::LineSettings s;
        s.baudRate = FBaudRate.load();
        s.byteSize = FDataWidth.load();
        s.parity = FParity.load();
        s.stopBits = FStopBits.load();
        s.dtrControl = FEnableDTROnOpen.load() ? platform::LineSettings::Dtr::Enable
                                               : platform::LineSettings::Dtr::Disable;
        const THwFlowControl hw = FHwFlowControl.load();
        if (hw == hfRTSCTS)
            s.rtsControl = platform::LineSettings::Rts::Handshake;
        else if (FEnableRTSOnOpen.load() || hw == hfRTS)
            s.rtsControl = platform::LineSettings::Rts::Enable;
        else
            s.rtsControl = platform::LineSettings::Rts::Disable;
        s.outxCtsFlow = hw == hfRTSCTS;
        s.outX = s.inX = FSwFlowControl.load() == sfXONXOFF;
        return backend.applyLineSettings(h, s);
    } catch (...) {
        return false;
    }
}

bool TSerialPort::Impl::ApplyTimeouts(DeviceHandle h)
{
    if (h == kInvalidHandle)
        return false;
    try {
        platform::Timeouts t;
        t.readInterval = static_cast<std::uint32_t>(FReadIntervalTimeout.load());
        t.readTotalMultiplier = static_cast<std::uint32_t>(FReadTotalTimeoutMultiplier.load());
        t.readTotalConstant = static_cast<std::uint32_t>(FReadTotalTimeoutConstant.load());
        t.writeTotalMultiplier = static_cast<std::uint32_t>(FWriteTotalTimeoutMultiplier.load());
        t.writeTotalConstant = static_cast<std::uint32_t>(FWriteTotalTimeoutConstant.load());
        return backend.applyTimeouts(h, t);
    } catch (...) {
        return false;
    }
}

bool TSerialPort::Impl::ApplyBufferSizes(DeviceHandle h)
{
    if (h == kInvalidHandle)
        return false;
    try {
        return backend.applyBufferSizes(h, FInputBuffer.load(), FOutputBuffer.load());
    } catch (...) {
        return false;
    }
}

TLineStatusSet TSerialPort::Impl::ReadLineStatus(DeviceHandle h)
{
    TLineStatusSet result = 0;
    if (h == kInvalidHandle)
        return result;
    try {
        unsigned status = 0;
        if (!backend.modemStatus(h, status))
            return 0;
        if (status & platform::kModemCts)
            result |= lineBit(lsCTS);
        if (status & platform::kModemDsr)
            result |= lineBit(lsDSR);
        if (status & platform::kModemRing)
            result |= lineBit(lsRING);
        if (status & platform::kModemCd)
            result |= lineBit(lsCD);
    } catch (...) {
        return 0;
    }
    return result;
}

// Under the device lock: the receive thread may be releasing the device (a
// property written from a handler that Close's wait serves). The refusal's
// Close comes after the lock, which the thread's end needs.
void TSerialPort::Impl::reapplyCommState()
{
    bool refused = false;
    if (withDevice([&](DeviceHandle h) {
            refused = !applyLineSettings(h);
            return true;
        })
        && refused)
        self->Close();
}

std::string TSerialPort::Impl::reason(int errorCode) const
{
    std::string text = backend.errorText(errorCode);
    if (text.size() > 256)
        text.resize(256);
    while (!text.empty() && (isBlank(text.back()) || text.back() == '.'))
        text.pop_back();
    return text;
}

void TSerialPort::Impl::reapThreads()
{
    std::vector<std::shared_ptr<TComThread>> ended;
    {
        std::lock_guard lock(threadMutex);
        for (auto it = threads.begin(); it != threads.end();) {
            if ((*it)->Finished() && !(*it)->isCurrentThread()) {
                ended.push_back(std::move(*it));
                it = threads.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& t : ended)
        t->join();
}

void TSerialPort::Impl::raiseNotOpen() const
{
    throw SerialError(port() + " is not open.");
}

std::uint32_t TSerialPort::Impl::send(const void* data, std::size_t size, bool passBytesToOnSend)
{
    const auto t = comThread();
    if (!t)
        raiseNotOpen();
    std::size_t written = 0;
    {
        std::shared_lock lock(t->deviceMutex());
        const DeviceHandle h = t->GetPortHandle();
        if (h == kInvalidHandle)
            raiseNotOpen();
        sending.fetch_add(1);
        try {
            std::lock_guard one(writeMutex); // two threads' strings never interleave
            written = size == 0 ? 0 : backend.write(h, data, size);
        } catch (...) {
            sending.fetch_sub(1);
            raiseNotOpen();
        }
        sending.fetch_sub(1);
    }
    // The handler runs without the device lock, so it may close the port.
    try {
        if (written > 0 && self->OnSend)
            self->OnSend(self, passBytesToOnSend ? std::string(static_cast<const char*>(data), written)
                                                 : std::string());
    } catch (...) {
        raiseNotOpen();
    }
    return static_cast<std::uint32_t>(written);
}

// ---- the component ---------------------------------------------------------

TSerialPort::TSerialPort() : d(std::make_unique<Impl>(this))
{
    d->backend.beginTimerPeriod(1);
}

TSerialPort::~TSerialPort()
{
    std::vector<std::shared_ptr<TComThread>> all;
    {
        std::lock_guard lock(d->threadMutex);
        all = d->threads;
        d->ComThread.reset();
    }
    for (auto& t : all)
        t->Terminate();
    // Wait for every thread (forgotten ones too) so none fires a handler on a
    // destroyed component; a relay waiting for the main thread is served here.
    for (auto& t : all) {
        while (!t->Finished() && !t->isCurrentThread()) {
            pumpMainThreadEvents();
            sleepMs(10);
        }
    }
    for (auto& t : all)
        t->join();
    d->backend.endTimerPeriod(1);
}

TCommPort TSerialPort::Port() const { return StringToCommPort(d->port()); }

void TSerialPort::setPort(TCommPort value)
{
    if (value == Port())
        return;
    const std::string name = CommPortToString(value);
    std::lock_guard lock(d->nameMutex);
    d->FPort = name;
}

TBaudRate TSerialPort::BaudRate() const { return IntToBaudRate(d->FBaudRate.load()); }

void TSerialPort::setBaudRate(TBaudRate value)
{
    d->FBaudRate.store(BaudRateToInt(value));
    d->reapplyCommState();
}

TDataWidth TSerialPort::DataWidth() const
{
    switch (d->FDataWidth.load()) {
    case 5: return dw5Bits;
    case 6: return dw6Bits;
    case 7: return dw7Bits;
    default: return dw8Bits;
    }
}

void TSerialPort::setDataWidth(TDataWidth value)
{
    const std::uint8_t stop = d->FStopBits.load();
    if ((value == dw5Bits && stop == 2) || (value != dw5Bits && stop == 1))
        throw SerialError(kInvalidCombination);
    d->FDataWidth.store(static_cast<std::uint8_t>(value <= dw8Bits ? 5 + value : 8));
    d->reapplyCommState();
}

TStopBits TSerialPort::StopBits() const
{
    switch (d->FStopBits.load()) {
    case 1: return sb1_5Bits;
    case 2: return sb2Bits;
    default: return sb1Bit;
    }
}

void TSerialPort::setStopBits(TStopBits value)
{
    const std::uint8_t width = d->FDataWidth.load();
    if ((value == sb1_5Bits && width >= 6 && width <= 8) || (value == sb2Bits && width == 5))
        throw SerialError(kInvalidCombination);
    d->FStopBits.store(static_cast<std::uint8_t>(value <= sb2Bits ? value : 0));
    d->reapplyCommState();
}

TParityBits TSerialPort::Parity() const
{
    const std::uint8_t p = d->FParity.load();
    return p >= 1 && p <= 4 ? static_cast<TParityBits>(p) : pbNone;
}

void TSerialPort::setParity(TParityBits value)
{
    d->FParity.store(static_cast<std::uint8_t>(value));
    d->reapplyCommState();
}

bool TSerialPort::EnableDTROnOpen() const { return d->FEnableDTROnOpen.load(); }
void TSerialPort::setEnableDTROnOpen(bool value)
{
    if (d->FEnableDTROnOpen.exchange(value) != value)
        d->reapplyCommState();
}

bool TSerialPort::EnableRTSOnOpen() const { return d->FEnableRTSOnOpen.load(); }
void TSerialPort::setEnableRTSOnOpen(bool value)
{
    if (d->FEnableRTSOnOpen.exchange(value) != value)
        d->reapplyCommState();
}

THwFlowControl TSerialPort::HwFlowControl() const { return d->FHwFlowControl.load(); }
void TSerialPort::setHwFlowControl(THwFlowControl value)
{
    if (d->FHwFlowControl.exchange(value) != value)
        d->reapplyCommState();
}

TSwFlowControl TSerialPort::SwFlowControl() const { return d->FSwFlowControl.load(); }
void TSerialPort::setSwFlowControl(TSwFlowControl value)
{
    if (d->FSwFlowControl.exchange(value) != value)
        d->reapplyCommState();
}

std::int32_t TSerialPort::ReadIntervalTimeout() const { return d->FReadIntervalTimeout.load(); }
void TSerialPort::setReadIntervalTimeout(std::int32_t v) { d->FReadIntervalTimeout.store(v); }
std::int32_t TSerialPort::ReadTotalTimeoutMultiplier() const { return d->FReadTotalTimeoutMultiplier.load(); }
void TSerialPort::setReadTotalTimeoutMultiplier(std::int32_t v) { d->FReadTotalTimeoutMultiplier.store(v); }
std::int32_t TSerialPort::ReadTotalTimeoutConstant() const { return d->FReadTotalTimeoutConstant.load(); }
void TSerialPort::setReadTotalTimeoutConstant(std::int32_t v) { d->FReadTotalTimeoutConstant.store(v); }
std::int32_t TSerialPort::WriteTotalTimeoutMultiplier() const { return d->FWriteTotalTimeoutMultiplier.load(); }
void TSerialPort::setWriteTotalTimeoutMultiplier(std::int32_t v) { d->FWriteTotalTimeoutMultiplier.store(v); }
std::int32_t TSerialPort::WriteTotalTimeoutConstant() const { return d->FWriteTotalTimeoutConstant.load(); }
void TSerialPort::setWriteTotalTimeoutConstant(std::int32_t v) { d->FWriteTotalTimeoutConstant.store(v); }

std::uint32_t TSerialPort::InputBuffer() const { return d->FInputBuffer.load(); }
void TSerialPort::setInputBuffer(std::uint32_t v)
{
    if (d->FInputBuffer.exchange(v) == v)
        return;
    d->withDevice([&](DeviceHandle h) { return d->ApplyBufferSizes(h); });
}

std::uint32_t TSerialPort::OutputBuffer() const { return d->FOutputBuffer.load(); }
void TSerialPort::setOutputBuffer(std::uint32_t v)
{
    if (d->FOutputBuffer.exchange(v) == v)
        return;
    d->withDevice([&](DeviceHandle h) { return d->ApplyBufferSizes(h); });
}

TThreadPriority TSerialPort::Priority() const { return d->FPriority.load(); }
void TSerialPort::setPriority(TThreadPriority v)
{
    if (d->FPriority.load() == v)
        return;
    // A refused level is reported and leaves the thread and the property as they were.
    if (const auto t = d->comThread()) {
        int error = 0;
        if (!t->setPriority(v, error))
            throw SerialError("Cannot set the priority of " + d->port() + " . " + d->reason(error));
    }
    d->FPriority.store(v);
}

std::uint32_t TSerialPort::Delay() const { return d->FDelay.load(); }
void TSerialPort::setDelay(std::uint32_t v) { d->FDelay.store(v); }

std::string TSerialPort::CustomPortName() const
{
    std::lock_guard lock(d->nameMutex);
    return d->FCustomPortName;
}

void TSerialPort::setCustomPortName(const std::string& v)
{
    const std::string name = trimmed(v);
    const bool custom = Port() == spCustom;
    std::lock_guard lock(d->nameMutex);
    d->FCustomPortName = name;
    if (custom)
        d->FPort = name;
}

std::int32_t TSerialPort::CustomBaudRate() const { return d->FCustomBaudRate.load(); }
void TSerialPort::setCustomBaudRate(std::int32_t v)
{
    d->FCustomBaudRate.store(v);
    if (BaudRate() == brCustom) {
        d->FBaudRate.store(v);
        d->reapplyCommState();
    }
}

bool TSerialPort::IsSending() const { return d->sending.load() > 0; }
bool TSerialPort::IsReceiving() const { return d->FIsReceiving.load(); }
bool TSerialPort::NeedSynchronization() const { return d->FNeedSynchronization.load(); }
void TSerialPort::setNeedSynchronization(bool v) { d->FNeedSynchronization.store(v); }

void TSerialPort::Open()
{
    if (StringToCommPort(d->port()) == d->connectedTo())
        return;
    if (d->comThread()) {
        Close();
        // Close's wait serves the main thread: a handler there may have opened
        // the port again. That connection is the one asked for; another is closed.
        if (d->comThread()) {
            if (StringToCommPort(d->port()) == d->connectedTo())
                return;
            Close();
        }
    }
    d->reapThreads();

    auto t = std::make_shared<TComThread>(this);
    std::shared_ptr<TComThread> displaced;
    {
        std::lock_guard lock(d->threadMutex);
        displaced = std::exchange(d->ComThread, t);
        d->threads.push_back(t);
    }
    // Opened from a handler during the construction: that thread is told to
    // stop rather than left polling with nobody to close it.
    if (displaced)
        displaced->Terminate();
    if (d->connectedTo() != spNone)
        return;

    Close();
    throw SerialError("Cannot connect to " + d->port() + " . " + d->reason(lastOpenError()));
}

void TSerialPort::Close()
{
    try {
        const auto t = d->comThread();
        if (!t) {
            d->setConnectedTo(spNone);
            return;
        }
        t->Terminate();
        const std::uint64_t generation = t->generation();
        for (int i = 0; i < 500 && d->connectedTo(generation) != spNone; ++i) {
            pumpMainThreadEvents();
            sleepMs(i == 0 ? d->FDelay.load() : 10);
        }
        // Given up: the component is closed all the same, and the thread's late
        // end no longer matches the connection.
        if (d->connectedTo(generation) != spNone)
            d->beginConnection();
        {
            std::lock_guard lock(d->threadMutex);
            if (d->ComThread == t)
                d->ComThread.reset();
        }
        d->reapThreads();
    } catch (...) {
    }
}

TCommPort TSerialPort::IsConnected() const { return d->connectedTo(); }

TCommPort TSerialPort::StringToCommPort(const std::string& port) const
{
    const std::string name = trimmed(port);
    if (name.empty())
        return spNone;
    if (name.size() >= 4 && name.size() <= 6 && name.compare(0, 3, "COM") == 0 && name[3] != '0') {
        int n = 0;
        for (std::size_t i = 3; i < name.size(); ++i) {
            if (name[i] < '0' || name[i] > '9')
                return spCustom;
            n = n * 10 + (name[i] - '0');
        }
        if (n >= 1 && n <= 254)
            return static_cast<TCommPort>(n);
    }
    return spCustom;
}

std::string TSerialPort::CommPortToString(TCommPort port) const
{
    if (port == spNone)
        return {};
    if (port == spCustom)
        return CustomPortName();
    return "COM" + std::to_string(static_cast<int>(port));
}

std::int32_t TSerialPort::BaudRateToInt(TBaudRate rate) const
{
    if (rate < brCustom)
        return kRates[rate];
    return d->FCustomBaudRate.load();
}

TBaudRate TSerialPort::IntToBaudRate(std::int32_t value) const
{
    for (std::size_t i = 0; i < std::size(kRates); ++i)
        if (kRates[i] == value)
            return static_cast<TBaudRate>(i);
    return brCustom;
}

std::uint32_t TSerialPort::SendString(const std::string& str)
{
    return d->send(str.data(), ::strnlen(str.data(), str.size()), true);
}

std::uint32_t TSerialPort::SendData(const void* data, std::uint32_t dataSize)
{
    if (dataSize == 0)
        d->raiseNotOpen();
    return d->send(data, dataSize, false);
}

bool TSerialPort::Drain()
{
    return d->withDevice([&](DeviceHandle h) { return d->backend.drain(h); });
}

std::int32_t TSerialPort::LineRate() const
{
    std::uint32_t confirmed = 0;
    d->withDevice([&](DeviceHandle h) {
        confirmed = d->backend.confirmedBaudRate(h);
        return true;
    });
    if (confirmed > 0 && confirmed <= std::uint32_t(std::numeric_limits<std::int32_t>::max()))
        return std::int32_t(confirmed);
    return BaudRateToInt(BaudRate());
}

bool TSerialPort::SetBreak(bool onOff)
{
    return d->withDevice([&](DeviceHandle h) {
        return d->backend.escape(h, onOff ? platform::Escape::SetBreak : platform::Escape::ClearBreak);
    });
}

bool TSerialPort::SetDTR(bool onOff)
{
    return d->withDevice([&](DeviceHandle h) {
        return d->backend.escape(h, onOff ? platform::Escape::SetDtr : platform::Escape::ClearDtr);
    });
}

bool TSerialPort::SetRTS(bool onOff)
{
    return d->withDevice([&](DeviceHandle h) {
        return d->backend.escape(h, onOff ? platform::Escape::SetRts : platform::Escape::ClearRts);
    });
}

bool TSerialPort::SetXonXoff(bool onOff)
{
    return d->withDevice([&](DeviceHandle h) {
        return d->backend.escape(h, onOff ? platform::Escape::SetXon : platform::Escape::SetXoff);
    });
}

bool TSerialPort::ClearInputBuffer()
{
    return d->withDevice([&](DeviceHandle h) { return d->backend.purge(h, platform::PurgeRxClear); });
}

bool TSerialPort::ClearOutputBuffer()
{
    return d->withDevice([&](DeviceHandle h) { return d->backend.purge(h, platform::PurgeTxClear); });
}

bool TSerialPort::GetCTS()
{
    return d->withDevice([&](DeviceHandle h) { return (d->ReadLineStatus(h) & lineBit(lsCTS)) != 0; });
}

bool TSerialPort::GetDSR()
{
    return d->withDevice([&](DeviceHandle h) { return (d->ReadLineStatus(h) & lineBit(lsDSR)) != 0; });
}

bool TSerialPort::GetRING()
{
    return d->withDevice([&](DeviceHandle h) { return (d->ReadLineStatus(h) & lineBit(lsRING)) != 0; });
}

bool TSerialPort::GetCD()
{
    return d->withDevice([&](DeviceHandle h) { return (d->ReadLineStatus(h) & lineBit(lsCD)) != 0; });
}

TCommPortSet TSerialPort::GetExistingCommPorts() const
{
    TCommPortSet ports;
    try {
        for (const auto& entry : d->ports.list()) {
            const TCommPort p = StringToCommPort(entry.name);
            if (p != spNone)
                ports.set(p);
        }
    } catch (...) {
    }
    return ports;
}

void TSerialPort::GetExistingCommPortNames(std::vector<std::string>& strings) const
{
    strings.clear();
    try {
        for (const auto& entry : d->ports.list()) {
            std::string name = trimmed(entry.name);
            if (!name.empty())
                strings.push_back(std::move(name));
        }
    } catch (...) {
    }
}

std::string TSerialPort::devicePath() const { return d->ports.resolve(d->port()); }

} // namespace korvel::serial
