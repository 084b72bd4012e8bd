// Telnet framing with the COM-PORT-OPTION of RFC 2217, without sockets: what
// goes out is built here, what comes in is taken apart here.
#pragma once

#include "../SerialBackend.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace korvel::serial::platform::telnet {

constexpr unsigned char IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
constexpr unsigned char OptBinary = 0, OptEcho = 1, OptSga = 3, OptComPort = 44;

// COM-PORT-OPTION commands, client to server (the server answers with +100).
enum ComPortCommand : unsigned char {
    SetBaudRate = 1, SetDataSize = 2, SetParity = 3, SetStopSize = 4, SetControl = 5,
    FlowSuspend = 8, FlowResume = 9, PurgeData = 12,
};

// Data bytes with every 0xFF doubled.
std::string escape(const void* data, std::size_t size);

// What the client says first: it will use the COM-PORT-OPTION and binary both ways.
std::string greeting();

// IAC SB COM-PORT-OPTION command value IAC SE, the value escaped.
std::string comPort(unsigned char command, const std::string& value);

// The line settings as COM-PORT-OPTION commands.
std::string lineSettings(const LineSettings& s);

// The receive side: data bytes out, negotiation answered. Any bytes, split anywhere.
class Receiver {
public:
    Receiver();

    // Appends the data bytes of `size` received bytes to `data` and what must
    // be answered to `replies` (at most three bytes per negotiation received).
    void feed(const unsigned char* bytes, std::size_t size, std::string& data, std::string& replies);

    // The last rate the server reported; 0 before any report.
    std::uint32_t serverBaudRate() const { return baud_; }
    // The server's modem-state notification (CTS 0x10, DSR 0x20, RI 0x40, CD 0x80); -1 before one.
    int modemState() const { return modem_; }

private:
    enum class State : std::uint8_t { Data, Iac, Verb, Sub, SubIac };
    void negotiate(unsigned char verb, unsigned char option, std::string& replies);
    void subnegotiation();

    State state_ = State::Data;
    unsigned char verb_ = 0;
    std::string sub_;
    bool subOverflow_ = false;
    std::array<bool, 256> us_{};   // options we have agreed to perform
    std::array<bool, 256> him_{};  // options the server performs
    std::uint32_t baud_ = 0;
    int modem_ = -1;
};

} // namespace korvel::serial::platform::telnet
