// korvelctl's side of the conversation with the printer: the port, and the
// ends that the conversation reports, for a command-line tool to wait on.
#pragma once

#include "printer/Conversation.h"
#include "serial/SerialPort.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace korvel::ctl {

struct Outcome {
    enum Kind { Acknowledged, ErrorReply, NoReply, LineError, ReportInvalid } kind = NoReply;
    std::string message;  // Persian, for the operator (stdout); a line for each reply
    std::string error;    // English, for stderr
    std::optional<printer::Report> report;
};

class Session {
public:
    Session(std::string portName, std::chrono::milliseconds timeout);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Opens the port and greets the printer; Acknowledged on "s".
    Outcome connect();
    // Queues the command behind the work in progress; wait() gives its end.
    std::uint64_t submit(printer::Command command);
    Outcome wait(std::uint64_t id);

    // See every effect, in order, one at a time, on the conversation's threads.
    void setObserver(std::function<void(const printer::Effect&)> observer);
    // Sees each end as it comes, on the conversation's thread, before wait() returns it.
    void setEndObserver(std::function<void(const Outcome&)> observer);

private:
    void effect(const printer::Effect& e);
    void ended(const printer::CommandEnd& e);
    Outcome outcomeOf(const printer::CommandEnd& e) const;

    std::string portName_;
    std::chrono::milliseconds timeout_;
    serial::TSerialPort port_;
    std::unique_ptr<printer::Conversation> conversation_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::uint64_t, Outcome> ends_;
    std::function<void(const printer::Effect&)> observer_;
    std::function<void(const Outcome&)> endObserver_;
};

} // namespace korvel::ctl
