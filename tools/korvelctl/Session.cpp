#include "Session.h"

#include "printer/Messages.h"

namespace korvel::ctl {

using namespace printer;

Session::Session(std::string portName, std::chrono::milliseconds timeout)
    : portName_(std::move(portName)), timeout_(timeout)
{
    port_.setBaudRate(serial::br009600);
    const serial::TCommPort p = port_.StringToCommPort(portName_);
    if (p == serial::spCustom)
        port_.setCustomPortName(portName_); // a device path as it stands
    port_.setPort(p);
    port_.OnReceive = [this](serial::TSerialPort*, const std::string& chunk) { conversation_->received(chunk); };
    LineIo io{[this](const std::string& bytes) { return port_.SendString(bytes); }, [this] { return port_.Drain(); },
              [this] { return int(port_.LineRate()); }};
    ConversationHooks hooks;
    hooks.effect = [this](const Effect& e) { effect(e); };
    hooks.ended = [this](const CommandEnd& e) { ended(e); };
    hooks.requestSettingsOnConnect = false; // each command asks for what it needs
    conversation_ = std::make_unique<Conversation>(std::move(io), std::move(hooks), timeout_);
}

Session::~Session()
{
    port_.Close(); // no more chunks
    conversation_.reset();
}

void Session::setObserver(std::function<void(const Effect&)> observer)
{
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

void Session::setEndObserver(std::function<void(const Outcome&)> observer)
{
    std::lock_guard lock(mutex_);
    endObserver_ = std::move(observer);
}

void Session::effect(const Effect& e)
{
    std::function<void(const Effect&)> observer;
    {
        std::lock_guard lock(mutex_);
        observer = observer_;
    }
    if (observer)
        observer(e);
}

void Session::ended(const CommandEnd& e)
{
    const Outcome o = outcomeOf(e);
    std::function<void(const Outcome&)> observer;
    {
        std::lock_guard lock(mutex_);
        observer = endObserver_;
    }
    if (observer)
        observer(o);
    {
        std::lock_guard lock(mutex_);
        ends_[e.id] = o;
    }
    changed_.notify_all();
}

std::uint64_t Session::submit(Command command) { return conversation_->submit(std::move(command)); }

Outcome Session::wait(std::uint64_t id)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return ends_.count(id) > 0; });
    return ends_.extract(id).mapped();
}

Outcome Session::outcomeOf(const CommandEnd& e) const
{
    switch (e.kind) {
    case CommandEnd::Answered:
        return Outcome{Outcome::Acknowledged, e.message, {}, e.report};
    case CommandEnd::ErrorReply:
        return Outcome{Outcome::ErrorReply, e.message, "the printer answered \"" + e.reply + "\" to \"" + e.jobName + "\"", {}};
    case CommandEnd::NoReply:
        return Outcome{Outcome::NoReply, std::string(kMsgNoReply),
                       "no reply to \"" + e.jobName + "\" within " + std::to_string(timeout_.count()) + " ms", {}};
    case CommandEnd::ReportInvalid:
        return Outcome{Outcome::ReportInvalid, e.message, "the printer's settings report could not be read", {}};
    case CommandEnd::Dropped:
        return Outcome{Outcome::LineError, e.message, "\"" + e.jobName + "\" waited too long for the line", {}};
    case CommandEnd::Cancelled:
        return Outcome{Outcome::LineError, {}, "\"" + e.jobName + "\" was cancelled", {}};
    case CommandEnd::LineError:
        break;
    }
    return Outcome{Outcome::LineError, {}, e.error, {}};
}

Outcome Session::connect()
{
    conversation_->reset();
    try {
        port_.Close();
        port_.Open();
    } catch (const std::exception& e) {
        return Outcome{Outcome::LineError, {}, e.what(), {}};
    }
    Command c;
    c.request = connectJob();
    return wait(submit(std::move(c)));
}

} // namespace korvel::ctl
