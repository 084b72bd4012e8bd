// One conversation with the printer on one port: the queue of commands, the
// replies each request waits for, the held-back "pload" tail, the no-reply
// time-outs, and the line writer with its wire clock. The window and korvelctl
// submit commands and observe effects; the printer never waits for either.
#pragma once

#include "Dispatch.h"
#include "Protocol.h"
#include "Writer.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace korvel::printer {

struct Command {
    Job request;
    // "P" and "T": the stream, prepared at the press, written when the printer
    // asks for it with `awaited` ("(" or "}").
    std::optional<Job> stream;
    char awaited = 0;
    // The stream is a picture: its progress is shown by columns of 22 values.
    bool columnProgress = false;
    // Runs on the conversation's thread once the request (and its stream) crossed.
    std::function<void(const JobResult&)> written;
    // A connection made for the next command submitted: the printer's settings
    // request waits for that command (a second at most), so that it goes first.
    bool followed = false;
};

struct CommandEnd {
    enum Kind { Answered, ErrorReply, NoReply, LineError, Dropped, Cancelled, ReportInvalid };
    Kind kind = NoReply;
    std::uint64_t id = 0;
    std::string jobName;
    // Persian: the reply's message (one line for each reply of a job that waits
    // for all of them), or why the command failed.
    std::string message;
    std::string error;    // English detail for a line error
    std::string reply;    // the response that ended it
    std::optional<Report> report;
};

// What the operator is shown of the line.
struct ConversationState {
    std::string current;          // the job on the wire or awaiting the printer; empty when idle
    std::size_t bytesDone = 0;    // of the current job, as they cross
    std::size_t bytesTotal = 0;
    int queued = 0;               // commands waiting their turn
    bool waitingForPrinter = false; // a request waits for "(", "}" or the report
    std::string lastReply;        // the last chunk received
};

struct ConversationHooks {
    std::function<void(const Effect&)> effect;       // in order, never two at once
    std::function<void(const CommandEnd&)> ended;
    std::function<void()> stateChanged;               // read state()
    // Write "u" when the printer acknowledges a connection, as the window does.
    bool requestSettingsOnConnect = true;
};

// A queued command is dropped when it has waited longer than the line time of
// the work ahead of it plus one no-reply time-out for itself and for each reply
// that work waits for.
class Conversation {
public:
    Conversation(LineIo io, ConversationHooks hooks, std::chrono::milliseconds noReply = std::chrono::milliseconds{3000},
                 std::chrono::microseconds jobGap = kLongPause);
    ~Conversation();
    Conversation(const Conversation&) = delete;
    Conversation& operator=(const Conversation&) = delete;

    // Queues the command behind the work in progress and returns at once.
    std::uint64_t submit(Command command);
    // Receive thread: one chunk; returns at once.
    void received(std::string chunk);
    // A new connection: everything queued or under way ends as Cancelled, the
    // dispatcher's state is cleared; returns once nothing is being written.
    void reset();
    // Everything ended or cancelled, nothing awaiting a reply.
    bool idle() const;
    ConversationState state() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Entry {
        std::uint64_t id = 0;
        Command command;
        bool internal = false;         // the settings request the printer asked for
        Clock::time_point dropAt = Clock::time_point::max();
    };
    struct Awaiting {
        std::uint64_t id = 0;
        std::string jobName;
        std::vector<std::string> acks;
        bool report = false;
        bool internal = false;
        Clock::time_point deadline = Clock::time_point::max();
        bool all = false;  // every ack comes; their messages by the ack's place
        std::vector<std::optional<std::string>> heard;
    };
    enum class Phase { Idle, Request, AwaitStream, Stream, AwaitReport };
    struct Event {
        enum Kind { Submit, Chunk, Written, Reset } kind;
        Entry entry;
        std::string chunk;
        JobResult result;
        unsigned generation = 0;
        bool stream = false;  // Written: of a stream, not a request
    };

    void loop();
    void handle(Event& event);
    void handleChunk(const std::string& chunk);
    void handleWritten(const JobResult& result, bool stream);
    void startNext();
    void finishActive();
    void await(const Entry& entry, const Job& job);
    // A message from the printer, to the command it answers; an error reply that
    // answers none refuses the request waiting for its "(" or "}".
    void answer(const Effect& message);
    // The message refuses the request that waits for "(" or "}".
    void refuseRequest(const Effect& message);
    void hand(const Job& job, bool columns, bool stream);
    void end(CommandEnd end);
    void tell(const Effect& effect);
    void notifyState();
    void timers(Clock::time_point now);
    Clock::time_point nextDeadline() const;
    std::chrono::microseconds lineTimeOf(const Job& job) const;
    std::chrono::microseconds remainingAhead() const;
    void cancelEverything();

    LineIo io_;
    ConversationHooks hooks_;
    const std::chrono::milliseconds noReply_;
    const std::chrono::microseconds jobGap_;
    std::unique_ptr<LineWriter> writer_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Event> events_;
    bool stopping_ = false;
    std::uint64_t nextId_ = 1;
    unsigned generation_ = 0;        // under mutex_; moved on by reset
    ConversationState state_;        // under mutex_
    bool busy_ = false;              // under mutex_: something queued, active or awaited

    std::mutex effectMutex_;

    // Conversation thread only.
    DispatchState dispatch_;
    std::deque<Entry> queue_;
    std::optional<Entry> active_;
    Phase phase_ = Phase::Idle;
    Clock::time_point phaseDeadline_ = Clock::time_point::max();
    std::vector<Awaiting> awaiting_;
    Clock::time_point flushAt_ = Clock::time_point::max();
    Clock::time_point noReplyAt_ = Clock::time_point::max();
    // A followed connection started: until then its command is to come, and the
    // "u" waits for it; once submitted, the "u" goes right behind it.
    Clock::time_point followerBy_ = Clock::time_point::max();
    std::optional<std::uint64_t> follower_;
    Clock::time_point requestSettingsAt_ = Clock::time_point::max();
    void queueSettingsRequest();

    std::thread thread_;
};

} // namespace korvel::printer
