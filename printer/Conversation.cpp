#include "Conversation.h"

#include "Messages.h"

#include <algorithm>
#include <utility>

namespace korvel::printer {

namespace {

constexpr int kColumnValues = 22;
constexpr std::chrono::milliseconds kFollowerWait{1000};
constexpr int kColumns = 240;

bool among(const std::vector<std::string>& list, std::string_view text)
{
    return std::find(list.begin(), list.end(), text) != list.end();
}

Effect effectOf(EffectKind kind, std::string_view text = {}, int position = 0, int maximum = 0)
{
    Effect e{kind, std::string(text), position, maximum, {}, {}};
    return e;
}

bool awaitsReport(const Job& job) { return job.acknowledgedBy == std::vector<std::string>{"u"}; }

} // namespace

Conversation::Conversation(LineIo io, ConversationHooks hooks, std::chrono::milliseconds noReply,
                           std::chrono::microseconds jobGap)
    : io_(io), hooks_(std::move(hooks)), noReply_(noReply), jobGap_(jobGap),
      writer_(std::make_unique<LineWriter>(std::move(io), jobGap))
{
    thread_ = std::thread([this] { loop(); });
}

Conversation::~Conversation()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    writer_->shutdown();
    thread_.join();
    writer_.reset(); // its last done callbacks find the loop gone and are dropped
}

std::uint64_t Conversation::submit(Command command)
{
    std::uint64_t id = 0;
    {
        std::lock_guard lock(mutex_);
        id = nextId_++;
        Event e{Event::Submit, Entry{id, std::move(command), false, Clock::time_point::max()}, {}, {}, generation_};
        events_.push_back(std::move(e));
        busy_ = true;
    }
    wake_.notify_all();
    return id;
}

void Conversation::received(std::string chunk)
{
    {
        std::lock_guard lock(mutex_);
        events_.push_back(Event{Event::Chunk, {}, std::move(chunk), {}, generation_});
    }
    wake_.notify_all();
}

void Conversation::reset()
{
    unsigned generation = 0;
    {
        std::lock_guard lock(mutex_);
        generation = ++generation_;
        events_.push_back(Event{Event::Reset, {}, {}, {}, generation});
    }
    wake_.notify_all();
    writer_->cancelAll(); // a write under way stops at its next byte
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [&] {
        return stopping_ || std::none_of(events_.begin(), events_.end(),
                                         [&](const Event& e) { return e.kind == Event::Reset && e.generation == generation; });
    });
}

bool Conversation::idle() const
{
    std::lock_guard lock(mutex_);
    return !busy_ && events_.empty();
}

ConversationState Conversation::state() const
{
    std::lock_guard lock(mutex_);
    return state_;
}

void Conversation::loop()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        const auto deadline = nextDeadline();
        wake_.wait_until(lock, deadline, [this] { return stopping_ || !events_.empty(); });
        if (stopping_)
            break;
        if (!events_.empty()) {
            Event event = std::move(events_.front());
            const bool stale = event.kind != Event::Reset && event.generation != generation_;
            lock.unlock();
            if (!stale)
                handle(event);
            lock.lock();
            // Reset waits until its event is gone.
            events_.pop_front();
            if (event.kind == Event::Reset)
                wake_.notify_all();
        } else {
            lock.unlock();
            timers(Clock::now());
            lock.lock();
        }
        lock.unlock();
        startNext();
        notifyState();
        lock.lock();
    }
    lock.unlock();
    cancelEverything();
}

void Conversation::handle(Event& event)
{
    switch (event.kind) {
    case Event::Submit: {
        Entry entry = std::move(event.entry);
        entry.dropAt = Clock::now() + remainingAhead() +
                       noReply_ * (1 + int(std::count_if(queue_.begin(), queue_.end(),
                                                         [](const Entry& e) { return e.command.stream.has_value(); })) +
                                   (phase_ == Phase::AwaitStream || phase_ == Phase::AwaitReport ? 1 : 0));
        const std::uint64_t id = entry.id;
        queue_.push_back(std::move(entry));
        if (followerBy_ != Clock::time_point::max()) {
            followerBy_ = Clock::time_point::max();
            follower_ = id;
            if (requestSettingsAt_ != Clock::time_point::max()) {
                requestSettingsAt_ = Clock::time_point::max();
                queueSettingsRequest();
            }
        }
        break;
    }
    case Event::Chunk:
        handleChunk(event.chunk);
        break;
    case Event::Written:
        handleWritten(event.result, event.stream);
        break;
    case Event::Reset:
        cancelEverything();
        dispatch_ = DispatchState{};
        flushAt_ = noReplyAt_ = requestSettingsAt_ = followerBy_ = Clock::time_point::max();
        follower_.reset();
        break;
    }
}

std::chrono::microseconds Conversation::lineTimeOf(const Job& job) const
{
    std::size_t bytes = 0;
    std::chrono::microseconds pauses{0};
    for (const Step& s : job.steps) {
        bytes += s.bytes.size();
        pauses += s.pauseBefore;
    }
    return lineTime(bytes, io_.bitsPerSecond ? io_.bitsPerSecond() : 0) + pauses + jobGap_;
}

std::chrono::microseconds Conversation::remainingAhead() const
{
    std::chrono::microseconds total{0};
    if (active_) {
        const ConversationState s = state();
        const int rate = io_.bitsPerSecond ? io_.bitsPerSecond() : 0;
        if (phase_ == Phase::Request || phase_ == Phase::Stream)
            total += lineTime(s.bytesTotal - std::min(s.bytesDone, s.bytesTotal), rate) + jobGap_;
        if ((phase_ == Phase::Request || phase_ == Phase::AwaitStream) && active_->command.stream)
            total += lineTimeOf(*active_->command.stream);
    }
    for (const Entry& e : queue_) {
        total += lineTimeOf(e.command.request);
        if (e.command.stream)
            total += lineTimeOf(*e.command.stream);
    }
    return total;
}

void Conversation::tell(const Effect& effect)
{
    std::lock_guard lock(effectMutex_);
    if (hooks_.effect)
        hooks_.effect(effect);
}

void Conversation::end(CommandEnd e)
{
    if (hooks_.ended)
        hooks_.ended(e);
}

void Conversation::notifyState()
{
    {
        std::lock_guard lock(mutex_);
        state_.queued = int(queue_.size());
        state_.waitingForPrinter = phase_ == Phase::AwaitStream || phase_ == Phase::AwaitReport;
        if (!active_) {
            state_.current.clear();
            state_.bytesDone = state_.bytesTotal = 0;
        } else if (phase_ == Phase::AwaitStream) {
            state_.current = active_->command.request.name;
        }
        busy_ = active_ || !queue_.empty() ||
                std::any_of(awaiting_.begin(), awaiting_.end(), [](const Awaiting& a) { return !a.internal; });
    }
    if (hooks_.stateChanged)
        hooks_.stateChanged();
}

void Conversation::hand(const Job& job, bool columns, bool stream)
{
    auto sizes = std::make_shared<std::vector<std::size_t>>();
    sizes->reserve(job.steps.size());
    std::size_t bytes = 0;
    for (const Step& s : job.steps)
        sizes->push_back(bytes += s.bytes.size());
    unsigned generation = 0;
    {
        std::lock_guard lock(mutex_);
        generation = generation_;
        state_.current = job.name;
        state_.bytesDone = 0;
        state_.bytesTotal = bytes;
    }
    ProgressFn progress = [this, sizes, columns, generation](std::size_t done, std::size_t) {
        {
            std::lock_guard lock(mutex_);
            if (generation != generation_)
                return;
            state_.bytesDone = (*sizes)[done - 1];
        }
        if (columns && done > 1 && (done - 1) % kColumnValues == 0)
            tell(effectOf(EffectKind::ProgressPosition, {}, int(done - 1) / kColumnValues));
        if (hooks_.stateChanged)
            hooks_.stateChanged();
    };
    writer_->submit(job, [this, generation, stream](const JobResult& r) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                return;
            events_.push_back(Event{Event::Written, {}, {}, r, generation, stream});
        }
        wake_.notify_all();
    }, std::move(progress));
}

void Conversation::startNext()
{
    while (!active_ && !queue_.empty()) {
        Entry entry = std::move(queue_.front());
        queue_.pop_front();
        if (!entry.internal && Clock::now() > entry.dropAt) {
            JobResult r;
            r.jobName = entry.command.request.name;
            r.cancelled = true;
            if (entry.command.written)
                entry.command.written(r);
            end(CommandEnd{CommandEnd::Dropped, entry.id, entry.command.request.name,
                           ".فرمان «" + entry.command.request.name +
                               "» فرستاده نشد، چون چاپگر در زمان مقرر آزاد نشد",
                           {}, {}, {}});
            continue;
        }
        active_ = std::move(entry);
        if (active_->command.request.acknowledgedBy == connectJob().acknowledgedBy) {
            // From the start: the printer's "s" may overtake the news that "!" crossed.
            follower_.reset();
            followerBy_ = active_->command.followed ? Clock::now() + kFollowerWait : Clock::time_point::max();
        }
        phase_ = Phase::Request;
        phaseDeadline_ = Clock::time_point::max();
        if (!active_->command.stream)
            await(*active_, active_->command.request); // a quick reply may overtake the news of the write
        hand(active_->command.request, false, false);
    }
}

void Conversation::await(const Entry& entry, const Job& job)
{
    awaiting_.push_back(Awaiting{entry.id, job.name, job.acknowledgedBy, awaitsReport(job), entry.internal,
                                 Clock::time_point::max(), job.allReplies,
                                 std::vector<std::optional<std::string>>(job.acknowledgedBy.size())});
}

void Conversation::answer(const Effect& e)
{
    auto place = [&](const Awaiting& a) {
        return std::size_t(std::find(a.acks.begin(), a.acks.end(), e.response) - a.acks.begin());
    };
    auto waitsFor = [&](const Awaiting& a) {
        const std::size_t at = place(a);
        return at < a.acks.size() && !(a.all && a.heard[at]);
    };
    auto it = std::find_if(awaiting_.begin(), awaiting_.end(), waitsFor);
    const bool acknowledged = it != awaiting_.end();
    const bool error = !acknowledged && among(errorReplies(), e.response);
    if (error)
        it = std::find_if(awaiting_.begin(), awaiting_.end(), [](const Awaiting& a) { return !a.internal; });
    if (it == awaiting_.end()) {
        if (error && active_ && phase_ == Phase::AwaitStream)
            refuseRequest(e); // instead of asking for the stream
        return;
    }
    std::string message = e.text;
    if (acknowledged && it->all) {
        it->heard[place(*it)] = e.text;
        if (std::any_of(it->heard.begin(), it->heard.end(), [](const auto& h) { return !h; })) {
            if (it->deadline != Clock::time_point::max())
                it->deadline = Clock::now() + noReply_; // the next reply has its own time
            return;
        }
        message.clear();
        for (const auto& h : it->heard)
            message += (message.empty() ? "" : "\n") + *h;
    }
    const Awaiting a = *it;
    awaiting_.erase(it);
    if (!a.internal)
        end(CommandEnd{acknowledged ? CommandEnd::Answered : CommandEnd::ErrorReply, a.id, a.jobName, message, {},
                       e.response, {}});
    if (phase_ == Phase::AwaitReport && active_ && active_->id == a.id)
        finishActive();
}

void Conversation::refuseRequest(const Effect& e)
{
    if (active_->command.written) {
        JobResult r;
        r.jobName = active_->command.request.name;
        r.error = "the printer answered \"" + e.response + "\"";
        std::exchange(active_->command.written, {})(r);
    }
    end(CommandEnd{CommandEnd::ErrorReply, active_->id, active_->command.request.name, e.text, {}, e.response, {}});
    finishActive();
}

void Conversation::finishActive()
{
    active_.reset();
    phase_ = Phase::Idle;
    phaseDeadline_ = Clock::time_point::max();
}

void Conversation::handleWritten(const JobResult& result, bool stream)
{
    if (!active_)
        return;
    if (!stream && phase_ == Phase::Stream)
        return; // the printer asked for the stream before the request was seen to cross
    Entry& a = *active_;
    const bool streaming = phase_ == Phase::Stream;
    if (!result.ok) {
        if (streaming && a.command.columnProgress) {
            tell(effectOf(EffectKind::HideLabelSend));
            tell(effectOf(EffectKind::HideStatusSend));
        }
        if (a.command.written)
            std::exchange(a.command.written, {})(result);
        std::erase_if(awaiting_, [&](const Awaiting& w) { return w.id == a.id; });
        if (!a.internal)
            end(CommandEnd{result.cancelled ? CommandEnd::Cancelled : CommandEnd::LineError, a.id, result.jobName, {},
                           result.error, {}, {}});
        finishActive();
        if (!result.cancelled) {
            // The line failed: what waits behind would meet it too.
            for (Entry& e : std::exchange(queue_, {})) {
                JobResult r;
                r.jobName = e.command.request.name;
                r.cancelled = true;
                if (e.command.written)
                    e.command.written(r);
                if (!e.internal)
                    end(CommandEnd{CommandEnd::Cancelled, e.id, r.jobName, {}, {}, {}, {}});
            }
        }
        return;
    }
    const auto now = Clock::now();
    const Job& job = streaming ? *a.command.stream : a.command.request;
    if (job.startsNoReplyTimer && noReplyAt_ == Clock::time_point::max())
        noReplyAt_ = now + noReply_;
    if (phase_ == Phase::Request && a.command.stream) {
        phase_ = Phase::AwaitStream;
        phaseDeadline_ = now + noReply_;
        return;
    }
    if (streaming && a.command.columnProgress) {
        tell(effectOf(EffectKind::SetEdit2, "fyv"));
        tell(effectOf(EffectKind::HideLabelSend));
        tell(effectOf(EffectKind::HideStatusSend));
    }
    if (a.command.written)
        std::exchange(a.command.written, {})(result);
    auto w = std::find_if(awaiting_.begin(), awaiting_.end(), [&](const Awaiting& x) { return x.id == a.id; });
    if (w != awaiting_.end()) { // else answered already
        w->deadline = now + noReply_;
        if (w->report) {
            phase_ = Phase::AwaitReport; // the report must not be cut by another command's bytes
            phaseDeadline_ = w->deadline;
            return;
        }
    }
    finishActive();
}

void Conversation::handleChunk(const std::string& chunk)
{
    {
        std::lock_guard lock(mutex_);
        state_.lastReply = chunk;
    }
    noReplyAt_ = Clock::time_point::max(); // any chunk counts as a reply
    std::vector<Effect> effects = dispatchChunk(chunk, dispatch_);
    flushAt_ = dispatch_.heldBack.empty() ? Clock::time_point::max() : Clock::now() + kHeldBackFlush;
    for (Effect& e : effects) {
        switch (e.kind) {
        case EffectKind::WriteRequestSettings:
            if (!hooks_.requestSettingsOnConnect)
                break;
            if (followerBy_ != Clock::time_point::max() && Clock::now() < followerBy_)
                requestSettingsAt_ = followerBy_; // or sooner, when the command comes
            else
                queueSettingsRequest();
            break;
        case EffectKind::StartTextUpload:
        case EffectKind::StartImageUpload: {
            const char want = e.kind == EffectKind::StartTextUpload ? '}' : '(';
            if (!active_ || !active_->command.stream || active_->command.awaited != want ||
                (phase_ != Phase::AwaitStream && phase_ != Phase::Request))
                break; // nobody asked for it: nothing to send
            if (phase_ == Phase::Request) {
                // The reply overtook the news that the request crossed; the stream follows at once.
                phase_ = Phase::AwaitStream;
            }
            phase_ = Phase::Stream;
            phaseDeadline_ = Clock::time_point::max();
            if (active_->command.columnProgress) {
                tell(effectOf(EffectKind::ShowLabelSend, kCaptionUploadingImage));
                tell(effectOf(EffectKind::ProgressReset, {}, 0, kColumns));
                tell(effectOf(EffectKind::ShowStatusSend));
            }
            await(*active_, *active_->command.stream);
            hand(*active_->command.stream, active_->command.columnProgress, true);
            break;
        }
        case EffectKind::ApplyReport:
        case EffectKind::ReportInvalid: {
            tell(e);
            auto it = std::find_if(awaiting_.begin(), awaiting_.end(), [](const Awaiting& a) { return a.report; });
            if (it != awaiting_.end()) {
                const Awaiting a = *it;
                awaiting_.erase(it);
                if (!a.internal)
                    end(CommandEnd{e.kind == EffectKind::ApplyReport ? CommandEnd::Answered : CommandEnd::ReportInvalid,
                                   a.id, a.jobName, e.kind == EffectKind::ReportInvalid ? e.text : std::string(), {}, {},
                                   e.kind == EffectKind::ApplyReport ? std::optional<Report>(e.report) : std::nullopt});
                if (phase_ == Phase::AwaitReport && active_ && active_->id == a.id)
                    finishActive();
            }
            break;
        }
        case EffectKind::Message:
            tell(e);
            answer(e);
            break;
        default:
            tell(e);
        }
    }
}

void Conversation::queueSettingsRequest()
{
    // Asked for by the printer: next on the line, but never inside a request and its stream.
    Entry u;
    u.command.request = requestSettingsJob();
    u.internal = true;
    auto at = queue_.begin();
    if (follower_) {
        const auto f = std::find_if(queue_.begin(), queue_.end(), [&](const Entry& e) { return e.id == *follower_; });
        if (f != queue_.end())
            at = std::next(f);
        follower_.reset();
    }
    queue_.insert(at, std::move(u));
}

void Conversation::timers(Clock::time_point now)
{
    if (now >= followerBy_)
        followerBy_ = Clock::time_point::max(); // it never came
    if (now >= requestSettingsAt_) {
        requestSettingsAt_ = Clock::time_point::max();
        queueSettingsRequest();
    }
    if (now >= flushAt_) {
        flushAt_ = Clock::time_point::max();
        for (const Effect& e : flushHeldBack(dispatch_)) {
            tell(e);
            // Only as a message: the held tail is the printer's own word.
            if (e.kind == EffectKind::Message)
                answer(e);
        }
    }
    if (now >= noReplyAt_) {
        noReplyAt_ = Clock::time_point::max();
        Effect e = effectOf(EffectKind::Message, kMsgNoReply);
        tell(e);
    }
    for (auto it = awaiting_.begin(); it != awaiting_.end();) {
        if (now < it->deadline) {
            ++it;
            continue;
        }
        const Awaiting a = *it;
        it = awaiting_.erase(it);
        if (!a.internal)
            end(CommandEnd{CommandEnd::NoReply, a.id, a.jobName, {}, {}, {}, {}});
        if (phase_ == Phase::AwaitReport && active_ && active_->id == a.id)
            finishActive();
    }
    if (active_ && now >= phaseDeadline_) {
        if (phase_ == Phase::AwaitStream) {
            // The printer never asked for the stream: tell it, and let the queue go on.
            JobResult r;
            r.jobName = active_->command.request.name;
            r.error = "no reply";
            if (active_->command.written)
                std::exchange(active_->command.written, {})(r);
            if (!active_->internal)
                end(CommandEnd{CommandEnd::NoReply, active_->id, active_->command.request.name,
                               std::string(kMsgNoReply), {}, {}, {}});
        }
        finishActive();
    }
    for (auto it = queue_.begin(); it != queue_.end();) {
        if (it->internal || now <= it->dropAt) {
            ++it;
            continue;
        }
        Entry e = std::move(*it);
        it = queue_.erase(it);
        JobResult r;
        r.jobName = e.command.request.name;
        r.cancelled = true;
        if (e.command.written)
            e.command.written(r);
        end(CommandEnd{CommandEnd::Dropped, e.id, e.command.request.name,
                       ".فرمان «" + e.command.request.name + "» فرستاده نشد، چون چاپگر در زمان مقرر آزاد نشد", {},
                       {}, {}});
    }
}

Conversation::Clock::time_point Conversation::nextDeadline() const
{
    Clock::time_point t = std::min({flushAt_, noReplyAt_, phaseDeadline_, requestSettingsAt_});
    for (const Awaiting& a : awaiting_)
        t = std::min(t, a.deadline);
    for (const Entry& e : queue_)
        if (!e.internal)
            t = std::min(t, e.dropAt);
    return t;
}

void Conversation::cancelEverything()
{
    auto cancel = [this](Entry& e) {
        JobResult r;
        r.jobName = e.command.request.name;
        r.cancelled = true;
        if (e.command.written)
            std::exchange(e.command.written, {})(r);
        if (!e.internal)
            end(CommandEnd{CommandEnd::Cancelled, e.id, r.jobName, {}, {}, {}, {}});
    };
    if (active_) {
        if (phase_ == Phase::Stream && active_->command.columnProgress) {
            tell(effectOf(EffectKind::HideLabelSend));
            tell(effectOf(EffectKind::HideStatusSend));
        }
        cancel(*active_);
    }
    finishActive();
    for (Entry& e : std::exchange(queue_, {}))
        cancel(e);
    for (const Awaiting& a : std::exchange(awaiting_, {}))
        if (!a.internal)
            end(CommandEnd{CommandEnd::Cancelled, a.id, a.jobName, {}, {}, {}, {}});
}

} // namespace korvel::printer
