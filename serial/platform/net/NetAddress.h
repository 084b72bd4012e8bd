// Network port names: "tcp://HOST:PORT" (raw bytes) and "rfc2217://HOST:PORT"
// (telnet with the COM-PORT-OPTION), as a serial device server offers them.
#pragma once

#include <optional>
#include <string>

namespace korvel::serial::platform {

struct NetAddress {
    bool rfc2217 = false;
    std::string host;  // without the brackets of an IPv6 literal
    std::string port;  // decimal, 1 ... 65535
};

// True when the name has the form of a URL ("scheme://..."), valid or not.
bool looksLikeUrl(const std::string& name);

// The address, or nothing with the reason in *why.
std::optional<NetAddress> parseNetAddress(const std::string& url, std::string* why = nullptr);

} // namespace korvel::serial::platform
