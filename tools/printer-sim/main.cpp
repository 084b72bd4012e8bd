// printer-sim: the marking printer on a pseudo-terminal.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <sys/stat.h>

#include "EventLog.h"
#include "Line.h"
#include "Options.h"
#include "Printer.h"

namespace {

const char kHelp[] = R"(Usage: printer-sim [options]

A marking printer on a pseudo-terminal, published in the port map as COMn
($KORVEL_PORT_MAP, else ~/.config/korvel/ports). Prints "ready COMn /dev/pts/N"
on stderr when listening; logs one JSON line per command on stdout (or --log).

Line:
  --port COMn            name in the port map (default COM30)
  --line-rate BPS        take and send bytes no faster than BPS bit/s at 8N1
                         (10 bits a byte); default: as fast as the terminal
  --strict-silence MS    tell (log and stderr) of a parameter, or of a letter after a
                         parameter, with less than MS of silence before it on the wire
  --gap MS               idle time that ends one write of the sender (default 30);
                         with --line-rate counted from the byte's arrival at line pace
  --param-timeout MS     longest wait for a parameter after its command (default 1000)
  --slot-window MS       after "s", how long to wait for a slot digit before
                         taking it as "store text" (default 300)
  --upload-timeout MS    a text or picture stream quiet this long is cut short
                         (default 2000)
  --save-step MS         pause between the 100 "%" of storing a picture (default 5)
  --upload-reply-delay MS  wait this long after "P" or "T" before answering "(" or "}"
                         (logged as an upload-reply-delay event when the request is
                         heard; default 0)

Printer:
  --settings I,C,A,D,R   ink amount, print count, delay after printing, initial
                         delay, resolution, each 1..255 (default 5,2,7,9,3)

Records:
  --out DIR              write picture-NNNN.png/.raw and text-NNNN.txt/.raw there
  --log FILE             append the JSON event lines to FILE instead of stdout

Faults (combinable):
  --silent               answer nothing
  --reply-error          answer "!" with "e"
  --split-replies        write replies a byte at a time, --split-gap MS apart (default 60)
  --hangup-after N       after N received bytes close the terminal, remove the
                         link and exit 0 (the Nth byte is not acted on)
  --garbage              put 1-3 random bytes that are no reply letters before
                         every reply (--seed N makes them repeatable)
  --no-upload-reply      ignore "P" and "T"
  --help                 this text
)";

[[noreturn]] void usage(const std::string& why)
{
    std::fprintf(stderr, "printer-sim: %s\n(try --help)\n", why.c_str());
    std::exit(2);
}

long number(const std::string& flag, const std::string& v, long lo, long hi)
{
    char* end = nullptr;
    const long n = std::strtol(v.c_str(), &end, 10);
    if (v.empty() || *end || n < lo || n > hi)
        usage(flag + " wants a number " + std::to_string(lo) + ".." + std::to_string(hi) + ", not \"" + v + "\"");
    return n;
}

sim::Options parse(int argc, char** argv)
{
    sim::Options o;
    o.seed = std::random_device{}();
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        std::string value;
        bool hasValue = false;
        if (const size_t eq = flag.find('='); eq != std::string::npos) {
            value = flag.substr(eq + 1);
            flag = flag.substr(0, eq);
            hasValue = true;
        }
        auto arg = [&]() -> std::string {
            if (hasValue)
                return value;
            if (i + 1 >= argc)
                usage(flag + " wants a value");
            return argv[++i];
        };
        auto ms = [&]() { return static_cast<int>(number(flag, arg(), 0, 600000)); };
        if (flag == "--help" || flag == "-h") {
            std::fputs(kHelp, stdout);
            std::exit(0);
        } else if (flag == "--port") {
            o.port = arg();
            const bool ok = o.port.size() > 3 && o.port.compare(0, 3, "COM") == 0
                            && o.port.find_first_not_of("0123456789", 3) == std::string::npos;
            if (!ok || number("--port", o.port.substr(3), 1, 254) < 1)
                usage("--port wants COM1 ... COM254");
        } else if (flag == "--out") {
            o.outDir = arg();
        } else if (flag == "--log") {
            o.logFile = arg();
        } else if (flag == "--line-rate") {
            o.lineRate = static_cast<int>(number(flag, arg(), 1, 10000000));
        } else if (flag == "--strict-silence") {
            o.strictSilenceMs = ms();
        } else if (flag == "--gap") {
            o.gapMs = ms();
        } else if (flag == "--param-timeout") {
            o.paramTimeoutMs = ms();
        } else if (flag == "--slot-window") {
            o.slotWindowMs = ms();
        } else if (flag == "--upload-timeout") {
            o.uploadTimeoutMs = ms();
        } else if (flag == "--upload-reply-delay") {
            o.uploadReplyDelayMs = ms();
        } else if (flag == "--save-step") {
            o.saveStepMs = ms();
        } else if (flag == "--split-gap") {
            o.splitGapMs = ms();
        } else if (flag == "--settings") {
            const std::string v = arg();
            size_t at = 0;
            for (size_t k = 0; k < 5; ++k) {
                const size_t comma = v.find(',', at);
                if ((k < 4) != (comma != std::string::npos))
                    usage("--settings wants five values: ink,count,delay-after,initial-delay,resolution");
                o.settings[k] = static_cast<int>(number(flag, v.substr(at, comma - at), 1, 255));
                at = comma + 1;
            }
        } else if (flag == "--silent") {
            o.silent = true;
        } else if (flag == "--reply-error") {
            o.replyError = true;
        } else if (flag == "--split-replies") {
            o.splitReplies = true;
        } else if (flag == "--hangup-after") {
            o.hangupAfter = number(flag, arg(), 1, 1L << 40);
        } else if (flag == "--garbage") {
            o.garbage = true;
        } else if (flag == "--seed") {
            o.seed = static_cast<unsigned>(number(flag, arg(), 0, 4294967295L));
        } else if (flag == "--no-upload-reply") {
            o.noUploadReply = true;
        } else {
            usage("unknown option " + flag);
        }
    }
    return o;
}

} // namespace

int main(int argc, char** argv)
{
    const sim::Options opt = parse(argc, argv);
    try {
        if (!opt.outDir.empty() && ::mkdir(opt.outDir.c_str(), 0755) != 0 && errno != EEXIST)
            throw std::runtime_error("cannot create " + opt.outDir + ": " + std::strerror(errno));
        sim::Line::installSignalHandlers();
        sim::EventLog log(opt.logFile);
        sim::Line line(opt);
        log.write(sim::Event::named("ready").str("port", opt.port).str("device", line.devicePath()), "");
        std::fprintf(stderr, "ready %s %s\n", opt.port.c_str(), line.devicePath().c_str());
        std::fflush(stderr);
        sim::Printer printer(opt, line, log);
        try {
            printer.run();
        } catch (const sim::HungUp&) {
            line.hangUp();
            log.write(sim::Event::named("hangup").num("received", line.received()),
                      "hung up after " + std::to_string(line.received()) + " bytes");
        } catch (const sim::Stopped&) {
            line.hangUp();
            log.write(sim::Event::named("exit"), "stopped");
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "printer-sim: %s\n", e.what());
        return 1;
    }
    return 0;
}
