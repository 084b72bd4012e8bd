#include "NetAddress.h"

#include <cctype>

namespace korvel::serial::platform {
namespace {

std::optional<NetAddress> refuse(std::string* why, const std::string& reason)
{
    if (why)
        *why = reason;
    return std::nullopt;
}

bool hostChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

} // namespace

bool looksLikeUrl(const std::string& name)
{
    const auto colon = name.find("://");
    if (colon == std::string::npos || colon == 0)
        return false;
    for (std::size_t i = 0; i < colon; ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i])) && name[i] != '+' && name[i] != '-' && name[i] != '.')
            return false;
    return true;
}

std::optional<NetAddress> parseNetAddress(const std::string& url, std::string* why)
{
    NetAddress a;
    std::string rest;
    if (url.rfind("tcp://", 0) == 0) {
        rest = url.substr(6);
    } else if (url.rfind("rfc2217://", 0) == 0) {
        a.rfc2217 = true;
        rest = url.substr(10);
    } else {
        return refuse(why, "only tcp:// and rfc2217:// are known");
    }
    if (!rest.empty() && rest.back() == '/')
        rest.pop_back();
    std::size_t portAt = 0;
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':')
            return refuse(why, "an IPv6 address is written [ADDRESS]:PORT");
        a.host = rest.substr(1, close - 1);
        for (char c : a.host)
            if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.')
                return refuse(why, "bad IPv6 address");
        portAt = close + 2;
    } else {
        const auto colon = rest.find(':');
        if (colon == std::string::npos)
            return refuse(why, "the port number is missing (HOST:PORT)");
        a.host = rest.substr(0, colon);
        for (char c : a.host)
            if (!hostChar(c))
                return refuse(why, "bad character in the host name");
        portAt = colon + 1;
    }
    if (a.host.empty())
        return refuse(why, "the host is missing");
    a.port = rest.substr(portAt);
    if (a.port.empty() || a.port.size() > 5)
        return refuse(why, "the port must be a number from 1 to 65535");
    long n = 0;
    for (char c : a.port) {
        if (c < '0' || c > '9')
            return refuse(why, "the port must be a number from 1 to 65535");
        n = n * 10 + (c - '0');
    }
    if (n < 1 || n > 65535)
        return refuse(why, "the port must be a number from 1 to 65535");
    a.port = std::to_string(n);
    return a;
}

} // namespace korvel::serial::platform
