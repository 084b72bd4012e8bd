// The receive side of a telnet / RFC 2217 port against any bytes from the
// network, cut anywhere: byte 0 & 15 = n, then n piece lengths, then the stream.
#include "FuzzCheck.h"
#include "serial/platform/net/Telnet.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using namespace korvel::serial::platform;

namespace {

struct Out {
    std::string data, replies;
};

Out feedPieces(const std::uint8_t* p, std::size_t size, const std::vector<std::size_t>& cuts)
{
    telnet::Receiver rx;
    Out out;
    std::size_t at = 0;
    for (std::size_t cut : cuts) {
        const std::size_t n = cut < size - at ? cut : size - at;
        rx.feed(p + at, n, out.data, out.replies);
        at += n;
    }
    rx.feed(p + at, size - at, out.data, out.replies);
    return out;
}

// Every reply is a whole IAC WILL/WONT/DO/DONT option triple.
bool wellFormedReplies(const std::string& r)
{
    if (r.size() % 3 != 0)
        return false;
    for (std::size_t i = 0; i < r.size(); i += 3) {
        const auto iac = static_cast<unsigned char>(r[i]), verb = static_cast<unsigned char>(r[i + 1]);
        if (iac != telnet::IAC || verb < telnet::WILL || verb > telnet::DONT)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t n = data[0] & 15u;
    if (size < 1 + n)
        return 0;
    const std::vector<std::size_t> cuts(data + 1, data + 1 + n);
    const std::uint8_t* stream = data + 1 + n;
    const std::size_t length = size - 1 - n;

    const Out whole = feedPieces(stream, length, {});
    const Out split = feedPieces(stream, length, cuts);
    // Where the network cut the stream changes nothing.
    FUZZ_CHECK(split.data == whole.data);
    FUZZ_CHECK(split.replies == whole.replies);
    FUZZ_CHECK(wellFormedReplies(whole.replies));
    // A data byte costs at least one byte; a reply at most what asked for it.
    FUZZ_CHECK(whole.data.size() <= length);
    FUZZ_CHECK(whole.replies.size() <= length);

    bool anyIac = false;
    for (std::size_t i = 0; i < length; ++i)
        anyIac = anyIac || stream[i] == telnet::IAC;
    if (!anyIac)
        FUZZ_CHECK(whole.data == std::string(reinterpret_cast<const char*>(stream), length));

    // What this end sends comes back exactly, each byte once, whatever the cuts.
    const std::string wire = telnet::escape(stream, length);
    const Out back = feedPieces(reinterpret_cast<const std::uint8_t*>(wire.data()), wire.size(), cuts);
    FUZZ_CHECK(back.data == std::string(reinterpret_cast<const char*>(stream), length));
    FUZZ_CHECK(back.replies.empty());
    return 0;
}
