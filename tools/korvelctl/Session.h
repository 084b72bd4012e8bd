// korvelctl's side of the conversation with the printer: the port, and the
// waits of a command-line tool for the ends that the conversation reports.
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
#include <vector>

namespace korvel::ctl {

struct Outcome {
    enum Kind { Acknowledged, ErrorReply, NoReply, LineError, ReportInvalid } kind = NoReply;
    std::string message;  // Persian, for the operator (stdout)
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
    // Submits the job and waits for its end.
    Outcome command(printer::Job job);
    // "P" or "T" with the stream the printer asks for, then the stream's reply.
    Outcome request(printer::Job request, printer::Job stream, char awaited, bool columns);
    // Writes "u" and waits for the whole settings report.
    Outcome requestSettings();
    // Waits for a reply that follows another, writing nothing; counts one seen already.
    Outcome expect(const std::vector<std::string>& acks);

    // Sees every effect, in order, on the conversation's thread.
    void setObserver(std::function<void(const printer::Effect&)> observer);

private:
    void effect(const printer::Effect& e);
    void ended(const printer::CommandEnd& e);

    std::string portName_;
    std::chrono::milliseconds timeout_;
    serial::TSerialPort port_;
    std::unique_ptr<printer::Conversation> conversation_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::uint64_t, printer::CommandEnd> ends_;
    std::vector<printer::Effect> replies_;  // messages seen, for expect()
    std::function<void(const printer::Effect&)> observer_;
};

} // namespace korvel::ctl
