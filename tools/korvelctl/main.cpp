// korvelctl: the printer's commands without the window, for scripts on a
// production line.
//
// Exit codes: 0 the expected reply, 1 bad usage or a local failure, 2 no
// reply, 3 an error reply or a line error.
#include "Session.h"

#include "printer/Messages.h"
#include "printer/Protocol.h"
#include "serial/PortMap.h"

#include <array>
#include <cctype>
#include <ctime>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

using namespace korvel;

namespace {

constexpr int kOk = 0, kUsage = 1, kNoReply = 2, kFailed = 3;

struct Context {
    std::string port;
    std::chrono::milliseconds timeout{3000};
};

struct Usage : std::runtime_error {
    using std::runtime_error::runtime_error;
};

int report(const ctl::Outcome& o)
{
    if (!o.message.empty())
        std::cout << o.message << '\n';
    if (!o.error.empty())
        std::cerr << "korvelctl: " << o.error << '\n';
    switch (o.kind) {
    case ctl::Outcome::Acknowledged: return kOk;
    case ctl::Outcome::NoReply: return kNoReply;
    default: return kFailed;
    }
}

// Connect, then write the job and wait for its acknowledgement.
int sendCommand(const Context& ctx, printer::Job job)
{
    ctl::Session session(ctx.port, ctx.timeout);
    if (ctl::Outcome c = session.connect(); c.kind != ctl::Outcome::Acknowledged)
        return report(c);
    return report(session.command(std::move(job)));
}

int parseNumber(const std::string& text, int lo, int hi, const char* what)
{
    std::size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])) ||
        value < lo || value > hi)
        throw Usage(std::string(what) + " must be a number from " + std::to_string(lo) + " to " +
                    std::to_string(hi) + ", not \"" + text + "\"");
    return value;
}

// "2025-03-07" or "09:05:03" into three numbers.
std::array<int, 3> splitThree(const std::string& text, char sep, const char* what)
{
    const auto a = text.find(sep);
    const auto b = a == std::string::npos ? a : text.find(sep, a + 1);
    if (b == std::string::npos)
        throw Usage(std::string("bad ") + what + " \"" + text + "\"");
    return {parseNumber(text.substr(0, a), 0, 9999, what), parseNumber(text.substr(a + 1, b - a - 1), 0, 99, what),
            parseNumber(text.substr(b + 1), 0, 99, what)};
}

std::tm localNow()
{
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

printer::ValueSetting settingNamed(const std::string& name)
{
    using printer::ValueSetting;
    if (name == "initial-delay") return ValueSetting::InitialDelay;
    if (name == "delay-after") return ValueSetting::DelayAfter;
    if (name == "resolution") return ValueSetting::Resolution;
    if (name == "ink") return ValueSetting::Ink;
    if (name == "count") return ValueSetting::Count;
    throw Usage("unknown setting \"" + name + "\" (initial-delay, delay-after, resolution, ink, count)");
}

using Args = std::vector<std::string>;

struct Command {
    const char* name;
    const char* args;
    const char* help;
    std::size_t minArgs, maxArgs;
    bool needsPort;
    std::function<int(const Context&, const Args&)> run;
};

int cmdPorts(const Context&, const Args&)
{
    for (const serial::PortEntry& p : serial::listPorts())
        std::cout << p.name << " -> " << p.device << '\n';
    return kOk;
}

int cmdMap(const Context&, const Args& a)
{
    serial::mapPort(a[0], a[1]);
    return kOk;
}

int cmdUnmap(const Context&, const Args& a)
{
    serial::unmapPort(a[0]);
    return kOk;
}

int cmdConnect(const Context& ctx, const Args&)
{
    ctl::Session session(ctx.port, ctx.timeout);
    return report(session.connect());
}

int cmdSettings(const Context& ctx, const Args&)
{
    ctl::Session session(ctx.port, ctx.timeout);
    if (ctl::Outcome c = session.connect(); c.kind != ctl::Outcome::Acknowledged)
        return report(c);
    const ctl::Outcome o = session.requestSettings();
    if (o.kind != ctl::Outcome::Acknowledged || !o.report)
        return report(o);
    const printer::Report& r = *o.report;
    std::cout << "ink " << r.ink.text << "\ncount " << r.count.text << "\ndelay-after " << r.delayAfter.text
              << "\ninitial-delay " << r.initialDelay.text << "\nresolution " << r.resolution.text << '\n';
    return kOk;
}

int cmdSet(const Context& ctx, const Args& a)
{
    const printer::ValueSetting setting = settingNamed(a[0]);
    return sendCommand(ctx, printer::valueSettingJob(setting, parseNumber(a[1], 1, 255, "the value")));
}

int cmdSetDate(const Context& ctx, const Args& a)
{
    std::array<int, 3> ymd;
    if (a.empty()) {
        const std::tm tm = localNow();
        ymd = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
    } else {
        ymd = splitThree(a[0], '-', "date (YYYY-MM-DD)");
    }
    printer::Job job;
    try {
        job = printer::setDateJob(ymd[0], ymd[1], ymd[2]);
    } catch (const std::invalid_argument& e) {
        throw Usage(e.what());
    }
    return sendCommand(ctx, std::move(job));
}

int cmdSetTime(const Context& ctx, const Args& a)
{
    std::array<int, 3> hms;
    if (a.empty()) {
        const std::tm tm = localNow();
        hms = {tm.tm_hour, tm.tm_min, tm.tm_sec};
    } else {
        hms = splitThree(a[0], ':', "time (HH:MM:SS)");
    }
    printer::Job job;
    try {
        job = printer::setTimeJob(hms[0], hms[1], hms[2]);
    } catch (const std::invalid_argument& e) {
        throw Usage(e.what());
    }
    return sendCommand(ctx, std::move(job));
}

int cmdSetCounter(const Context& ctx, const Args& a)
{
    const printer::CounterResult c = printer::counterFromAnswer(a[0], false);
    if (!c.ok) {
        std::cout << c.error << '\n';
        throw Usage("the counter takes up to four digits, not \"" + a[0] + "\"");
    }
    return sendCommand(ctx, printer::setCounterJob(c.text4));
}

int cmdDirection(const Context& ctx, const Args& a)
{
    if (a[0] == "rtl")
        return sendCommand(ctx, printer::directionJob(printer::Direction::RightToLeft));
    if (a[0] == "ltr")
        return sendCommand(ctx, printer::directionJob(printer::Direction::LeftToRight));
    throw Usage("direction is rtl or ltr, not \"" + a[0] + "\"");
}

const std::vector<Command>& commands()
{
    static const std::vector<Command> table{
        {"ports", "", "the port map and the serial devices found", 0, 0, false, cmdPorts},
        {"map", "COMn PATH", "let COMn name the device PATH", 2, 2, false, cmdMap},
        {"unmap", "COMn", "forget COMn", 1, 1, false, cmdUnmap},
        {"connect", "", "greet the printer", 0, 0, true, cmdConnect},
        {"settings", "", "print the printer's five settings", 0, 0, true, cmdSettings},
        {"set", "initial-delay|delay-after|resolution|ink|count VALUE", "set one setting (1 to 255)", 2, 2, true,
         cmdSet},
        {"set-date", "[YYYY-MM-DD]", "set the printer's date (default today)", 0, 1, true, cmdSetDate},
        {"set-time", "[HH:MM:SS]", "set the printer's clock (default now)", 0, 1, true, cmdSetTime},
        {"set-counter", "DIGITS", "set the counter (up to four digits)", 1, 1, true, cmdSetCounter},
        {"direction", "rtl|ltr", "print right to left or left to right", 1, 1, true, cmdDirection},
    };
    return table;
}

void printUsage(std::ostream& out)
{
    out << "usage: korvelctl [--port COMn] [--timeout MS] COMMAND [ARGS]\n\ncommands:\n";
    for (const Command& c : commands()) {
        std::string head = std::string("  ") + c.name + (*c.args ? " " : "") + c.args;
        out << head << std::string(head.size() < 62 ? 62 - head.size() : 1, ' ') << c.help << '\n';
    }
    out << "\nPrinter commands need --port. Exit codes: 0 acknowledged, 1 usage, 2 no reply,\n"
           "3 error reply or line error. Replies are printed as the window shows them.\n";
}

} // namespace

int main(int argc, char** argv)
{
    Context ctx;
    Args rest;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            auto value = [&]() -> std::string {
                if (i + 1 >= argc)
                    throw Usage(arg + " wants a value");
                return argv[++i];
            };
            if (!rest.empty()) {
                rest.push_back(arg);
            } else if (arg == "--help" || arg == "-h") {
                printUsage(std::cout);
                return kOk;
            } else if (arg == "--port") {
                ctx.port = value();
            } else if (arg == "--timeout") {
                ctx.timeout = std::chrono::milliseconds(parseNumber(value(), 1, 3600000, "--timeout"));
            } else if (arg.rfind("--", 0) == 0) {
                throw Usage("unknown option " + arg);
            } else {
                rest.push_back(arg);
            }
        }
        if (rest.empty())
            throw Usage("no command given");
        const Command* cmd = nullptr;
        for (const Command& c : commands())
            if (rest[0] == c.name)
                cmd = &c;
        if (!cmd)
            throw Usage("unknown command \"" + rest[0] + "\"");
        const Args args(rest.begin() + 1, rest.end());
        if (args.size() < cmd->minArgs || args.size() > cmd->maxArgs)
            throw Usage(std::string("usage: korvelctl ") + (cmd->needsPort ? "--port COMn " : "") + cmd->name +
                        (*cmd->args ? " " : "") + cmd->args);
        if (cmd->needsPort && ctx.port.empty())
            throw Usage(std::string(cmd->name) + " needs --port COMn");
        return cmd->run(ctx, args);
    } catch (const Usage& e) {
        std::cerr << "korvelctl: " << e.what() << "\n(korvelctl --help lists the commands)\n";
        return kUsage;
    } catch (const std::exception& e) {
        std::cerr << "korvelctl: " << e.what() << '\n';
        return kUsage;
    }
}
