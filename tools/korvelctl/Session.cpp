#include "Session.h"

#include "printer/Messages.h"

#include <algorithm>

namespace korvel::ctl {

using namespace printer;
using Clock = std::chrono::steady_clock;

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
              [this] { return int(port_.BaudRateToInt(port_.BaudRate())); }};
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

void Session::effect(const Effect& e)
{
    std::function<void(const Effect&)> observer;
    {
        std::lock_guard lock(mutex_);
        if (e.kind == EffectKind::Message)
            replies_.push_back(e);
        observer = observer_;
    }
    if (observer)
        observer(e);
    changed_.notify_all();
}

void Session::ended(const CommandEnd& e)
{
    {
        std::lock_guard lock(mutex_);
        ends_[e.id] = e;
    }
    changed_.notify_all();
}

std::uint64_t Session::submit(Command command) { return conversation_->submit(std::move(command)); }

Outcome Session::wait(std::uint64_t id)
{
    CommandEnd e;
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return ends_.count(id) > 0; });
        e = ends_[id];
        ends_.erase(id);
    }
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
    return command(connectJob());
}

Outcome Session::command(Job job)
{
    Command c;
    c.request = std::move(job);
    return wait(submit(std::move(c)));
}

Outcome Session::request(Job request, Job stream, char awaited, bool columns)
{
    Command c;
    c.request = std::move(request);
    c.stream = std::move(stream);
    c.awaited = awaited;
    c.columnProgress = columns;
    return wait(submit(std::move(c)));
}

Outcome Session::requestSettings() { return command(requestSettingsJob()); }

Outcome Session::expect(const std::vector<std::string>& acks)
{
    std::unique_lock lock(mutex_);
    auto seen = [&]() -> const Effect* {
        for (const Effect& e : replies_)
            if (std::find(acks.begin(), acks.end(), e.response) != acks.end())
                return &e;
        return nullptr;
    };
    if (changed_.wait_for(lock, timeout_, [&] { return seen() != nullptr; }))
        return Outcome{Outcome::Acknowledged, seen()->text, {}, {}};
    return Outcome{Outcome::NoReply, std::string(kMsgNoReply), "no reply from the printer", {}};
}

} // namespace korvel::ctl
