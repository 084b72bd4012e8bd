#include "Session.h"

#include "printer/Messages.h"
#include "printer/Responses.h"

#include <algorithm>

namespace korvel::ctl {

using namespace printer;
using Clock = std::chrono::steady_clock;

namespace {

bool among(const std::vector<std::string>& list, const std::string& text)
{
    return std::find(list.begin(), list.end(), text) != list.end();
}

} // namespace

Session::Session(std::string portName, std::chrono::milliseconds timeout)
    : portName_(std::move(portName)), timeout_(timeout)
{
    port_.setBaudRate(serial::br009600);
    const serial::TCommPort p = port_.StringToCommPort(portName_);
    if (p == serial::spCustom)
        port_.setCustomPortName(portName_); // a device path as it stands
    port_.setPort(p);
    port_.OnReceive = [this](serial::TSerialPort*, const std::string& chunk) { received(chunk); };
    writer_ = std::make_unique<LineWriter>([this](const std::string& bytes) { return port_.SendString(bytes); });
}

Session::~Session()
{
    writer_.reset(); // nothing may write once the port is gone
    port_.Close();
}

void Session::received(const std::string& chunk)
{
    {
        std::lock_guard lock(mutex_);
        chunks_.push_back(chunk);
    }
    arrived_.notify_one();
}

Outcome Session::write(Job job)
{
    const JobResult r = writer_->run(std::move(job));
    if (r.ok)
        return Outcome{Outcome::Acknowledged, {}, {}, {}};
    return Outcome{Outcome::LineError, {}, r.error, {}};
}

Outcome Session::connect()
{
    try {
        port_.Close();
        port_.Open();
    } catch (const std::exception& e) {
        return Outcome{Outcome::LineError, {}, e.what(), {}};
    }
    Job job = connectJob();
    const std::vector<std::string> acks = job.acknowledgedBy;
    if (Outcome w = write(std::move(job)); w.kind != Outcome::Acknowledged)
        return w;
    return await(acks, false);
}

Outcome Session::command(Job job)
{
    const std::vector<std::string> acks = job.acknowledgedBy;
    const std::string name = job.name;
    if (Outcome w = write(std::move(job)); w.kind != Outcome::Acknowledged)
        return w;
    Outcome o = await(acks, false);
    if (o.kind == Outcome::NoReply)
        o.error = "no reply to \"" + name + "\" within " + std::to_string(timeout_.count()) + " ms";
    return o;
}

Outcome Session::requestSettings()
{
    if (Outcome w = write(requestSettingsJob()); w.kind != Outcome::Acknowledged)
        return w;
    Outcome o = await({}, true);
    if (o.kind == Outcome::NoReply)
        o.error = "no settings report within " + std::to_string(timeout_.count()) + " ms";
    return o;
}

Outcome Session::upload(Job job, std::vector<std::string> acks, ProgressFn progress)
{
    std::size_t bytes = 0;
    for (const Step& s : job.steps)
        bytes += s.bytes.size();
    // 8N1: ten bits a byte.
    const auto lineTime = std::chrono::milliseconds(bytes * 10 * 1000 / 9600);
    const auto started = Clock::now();
    const std::string name = job.name;
    const JobResult r = writer_->run(std::move(job), std::move(progress));
    if (!r.ok)
        return Outcome{Outcome::LineError, {}, r.error, {}};
    const auto written = Clock::now();
    const auto extra = std::max(std::chrono::milliseconds{0},
                                std::chrono::duration_cast<std::chrono::milliseconds>(started + lineTime - written));
    Outcome o = await(acks, false, extra);
    if (o.kind == Outcome::NoReply)
        o.error = "no reply to the " + name + " within " + std::to_string((timeout_ + extra).count()) +
                  " ms of its last write";
    return o;
}

Outcome Session::expect(const std::vector<std::string>& acks) { return await(acks, false); }

Outcome Session::await(const std::vector<std::string>& acks, bool wantReport, std::chrono::milliseconds extra)
{
    auto deadline = Clock::now() + timeout_ + extra;
    constexpr Clock::time_point kNever = Clock::time_point::max();
    Clock::time_point flushAt = kNever; // when a held-back tail is given up on
    for (;;) {
        std::vector<Effect> effects;
        {
            std::unique_lock lock(mutex_);
            const auto until = std::min(flushAt, deadline);
            arrived_.wait_until(lock, until, [this] { return !chunks_.empty(); });
            if (!chunks_.empty()) {
                const std::string chunk = std::move(chunks_.front());
                chunks_.pop_front();
                lock.unlock();
                effects = dispatchChunk(chunk, state_);
            } else {
                lock.unlock();
                if (Clock::now() < std::min(flushAt, deadline))
                    continue; // spurious wake-up
                effects = flushHeldBack(state_);
            }
        }
        flushAt = state_.heldBack.empty() ? kNever : Clock::now() + kHeldBackFlush;

        std::optional<Outcome> ack;
        for (const Effect& e : effects) {
            if (observer_)
                observer_(e);
            // A printer that reports progress is still at work.
            if (e.kind == EffectKind::ProgressReset || e.kind == EffectKind::ProgressAdvance)
                deadline = std::max(deadline, Clock::now() + timeout_);
            if (e.kind == EffectKind::Message && among(errorReplies(), e.response))
                return Outcome{Outcome::ErrorReply, e.text, "the printer answered \"" + e.response + "\"", {}};
            if (e.kind == EffectKind::ReportInvalid)
                return Outcome{Outcome::ReportInvalid, e.text, "the printer's settings report could not be read",
                               {}};
            // The upload requests show no message; they are acknowledgements all the same.
            const std::string response = e.kind == EffectKind::StartTextUpload    ? "}"
                                         : e.kind == EffectKind::StartImageUpload ? "("
                                         : e.kind == EffectKind::Message          ? e.response
                                                                                  : std::string();
            if (!ack && !response.empty() && among(acks, response))
                ack = Outcome{Outcome::Acknowledged, e.text, {}, {}};
            if (!ack && wantReport && e.kind == EffectKind::ApplyReport)
                ack = Outcome{Outcome::Acknowledged, {}, {}, e.report};
        }
        if (ack)
            return *ack;
        if (Clock::now() >= deadline && flushAt == kNever)
            return Outcome{Outcome::NoReply, std::string(kMsgNoReply), "no reply from the printer", {}};
    }
}

} // namespace korvel::ctl
