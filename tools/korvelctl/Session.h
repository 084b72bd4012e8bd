// One conversation with the printer for korvelctl: the port, the one line
// writer, and the dispatcher's reading of what comes back.
#pragma once

#include "printer/Dispatch.h"
#include "printer/Protocol.h"
#include "printer/Writer.h"
#include "serial/SerialPort.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

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
    // Writes the job whole and waits for one of its acknowledgements.
    Outcome command(printer::Job job);
    // Writes "u" and waits for the whole settings report.
    Outcome requestSettings();
    // An upload the printer asked for, with progress per write, then the wait
    // for acks. The wait starts when the last byte can have crossed the line
    // at 9600 bit/s: the driver takes the writes long before they are sent.
    Outcome upload(printer::Job job, std::vector<std::string> acks, printer::ProgressFn progress = {});
    // Waits for a reply that follows another, writing nothing.
    Outcome expect(const std::vector<std::string>& acks);

    // Sees every effect of every chunk handled while waiting, in order.
    void setObserver(std::function<void(const printer::Effect&)> observer) { observer_ = std::move(observer); }

private:
    Outcome await(const std::vector<std::string>& acks, bool wantReport,
                  std::chrono::milliseconds extra = std::chrono::milliseconds{0});
    Outcome write(printer::Job job);
    void received(const std::string& chunk);

    std::string portName_;
    std::chrono::milliseconds timeout_;
    serial::TSerialPort port_;
    std::unique_ptr<printer::LineWriter> writer_;
    printer::DispatchState state_;
    std::function<void(const printer::Effect&)> observer_;

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::string> chunks_;
};

} // namespace korvel::ctl
