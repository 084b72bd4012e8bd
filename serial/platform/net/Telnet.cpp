#include "Telnet.h"

namespace korvel::serial::platform::telnet {
namespace {

constexpr std::size_t kMaxSub = 64;  // longer subnegotiations carry nothing we use

bool weMay(unsigned char option) { return option == OptBinary || option == OptSga || option == OptComPort; }
// The server's echo would send our own commands back as printer replies.
bool heMay(unsigned char option) { return option == OptBinary || option == OptSga; }

std::string three(unsigned char verb, unsigned char option)
{
    return std::string{static_cast<char>(IAC), static_cast<char>(verb), static_cast<char>(option)};
}

} // namespace

std::string escape(const void* data, std::size_t size)
{
    const auto* p = static_cast<const unsigned char*>(data);
    std::string out;
    out.reserve(size + 8);
    for (std::size_t i = 0; i < size; ++i) {
        out.push_back(static_cast<char>(p[i]));
        if (p[i] == IAC)
            out.push_back(static_cast<char>(IAC));
    }
    return out;
}

std::string greeting()
{
    return three(WILL, OptComPort) + three(WILL, OptBinary) + three(DO, OptBinary);
}

std::string comPort(unsigned char command, const std::string& value)
{
    std::string out{static_cast<char>(IAC), static_cast<char>(SB), static_cast<char>(OptComPort),
                    static_cast<char>(command)};
    out += escape(value.data(), value.size());
    out += static_cast<char>(IAC);
    out += static_cast<char>(SE);
    return out;
}

std::string lineSettings(const LineSettings& s)
{
    const auto rate = static_cast<std::uint32_t>(s.baudRate);
    std::string out = comPort(SetBaudRate, std::string{static_cast<char>(rate >> 24), static_cast<char>(rate >> 16),
                                                       static_cast<char>(rate >> 8), static_cast<char>(rate)});
    out += comPort(SetDataSize, std::string(1, static_cast<char>(s.byteSize)));
    out += comPort(SetParity, std::string(1, static_cast<char>(s.parity <= 4 ? s.parity + 1 : 1)));
    // 1 one, 2 two, 3 one and a half stop bits.
    const char stop = s.stopBits == 1 ? 3 : s.stopBits == 2 ? 2 : 1;
    out += comPort(SetStopSize, std::string(1, stop));
    const bool hardware = s.rtsControl == LineSettings::Rts::Handshake || s.outxCtsFlow;
    out += comPort(SetControl, std::string(1, static_cast<char>(hardware ? 3 : (s.outX || s.inX) ? 2 : 1)));
    out += comPort(SetControl, std::string(1, static_cast<char>(s.dtrControl == LineSettings::Dtr::Enable ? 8 : 9)));
    if (!hardware)
        out += comPort(SetControl,
                       std::string(1, static_cast<char>(s.rtsControl == LineSettings::Rts::Enable ? 11 : 12)));
    return out;
}

Receiver::Receiver()
{
    // As greeting() announced.
    us_[OptComPort] = us_[OptBinary] = him_[OptBinary] = true;
}

void Receiver::feed(const unsigned char* bytes, std::size_t size, std::string& data, std::string& replies)
{
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char c = bytes[i];
        switch (state_) {
        case State::Data:
            if (c == IAC)
                state_ = State::Iac;
            else
                data.push_back(static_cast<char>(c));
            break;
        case State::Iac:
            if (c == IAC) {
                data.push_back(static_cast<char>(IAC));
                state_ = State::Data;
            } else if (c >= WILL && c <= DONT) {
                verb_ = c;
                state_ = State::Verb;
            } else if (c == SB) {
                sub_.clear();
                subOverflow_ = false;
                state_ = State::Sub;
            } else {
                state_ = State::Data;  // NOP, GA, DM and the like carry nothing here
            }
            break;
        case State::Verb:
            negotiate(verb_, c, replies);
            state_ = State::Data;
            break;
        case State::Sub:
            if (c == IAC) {
                state_ = State::SubIac;
            } else if (sub_.size() < kMaxSub) {
                sub_.push_back(static_cast<char>(c));
            } else {
                subOverflow_ = true;
            }
            break;
        case State::SubIac:
            if (c == IAC) {
                if (sub_.size() < kMaxSub)
                    sub_.push_back(static_cast<char>(IAC));
                else
                    subOverflow_ = true;
                state_ = State::Sub;
            } else {
                // SE, or a broken frame that ends here all the same.
                if (!subOverflow_)
                    subnegotiation();
                state_ = State::Data;
            }
            break;
        }
    }
}

void Receiver::negotiate(unsigned char verb, unsigned char option, std::string& replies)
{
    // Answer only what changes the state, so that no exchange loops.
    switch (verb) {
    case DO:
        if (!weMay(option))
            replies += three(WONT, option);
        else if (!us_[option]) {
            us_[option] = true;
            replies += three(WILL, option);
        }
        break;
    case DONT:
        if (us_[option]) {
            us_[option] = false;
            replies += three(WONT, option);
        }
        break;
    case WILL:
        if (!heMay(option))
            replies += three(DONT, option);
        else if (!him_[option]) {
            him_[option] = true;
            replies += three(DO, option);
        }
        break;
    case WONT:
        if (him_[option]) {
            him_[option] = false;
            replies += three(DONT, option);
        }
        break;
    default:
        break;
    }
}

void Receiver::subnegotiation()
{
    if (sub_.size() < 2 || static_cast<unsigned char>(sub_[0]) != OptComPort)
        return;
    const auto command = static_cast<unsigned char>(sub_[1]);
    const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(sub_[i])); };
    if (command == SetBaudRate + 100 && sub_.size() >= 6)
        baud_ = byte(2) << 24 | byte(3) << 16 | byte(4) << 8 | byte(5);
    else if (command == 107 && sub_.size() >= 3)  // NOTIFY-MODEMSTATE
        modem_ = static_cast<int>(byte(2));
}

} // namespace korvel::serial::platform::telnet
