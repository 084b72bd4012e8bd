// The one owner of the line: every command and upload goes through it, runs
// whole on its own thread, and never shares the line with another's bytes.
#pragma once

#include "Protocol.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace korvel::printer {

struct JobResult {
    bool ok = false;
    bool cancelled = false;     // dropped or interrupted before its end
    std::string jobName;
    std::string error;          // when !ok
    std::size_t stepsDone = 0;  // writes that went out whole
};

// Writes one string to the line and returns the bytes written; may throw.
using SendFn = std::function<std::uint32_t(const std::string&)>;
using DoneFn = std::function<void(const JobResult&)>;
// After each write that went out whole: (writes done, writes in the job).
using ProgressFn = std::function<void(std::size_t, std::size_t)>;

// The port as the writer sees it. A pause must be silence on the wire, but a
// driver or a pseudo-terminal takes the bytes long before they are sent.
struct LineIo {
    SendFn send;
    // Blocks until the bytes written so far have left the port; false when the
    // port cannot tell (the pacing below then stands alone).
    std::function<bool()> drain;
    // The line's speed in bit/s; the writer paces itself at ten bits a byte.
    // 0 or unset: no pacing.
    std::function<int()> bitsPerSecond;
};

// How far the writer may run ahead of the wire.
inline constexpr std::size_t kBytesAhead = 12;

// The time `bytes` bytes take on a line of `bitsPerSecond` (8N1).
std::chrono::microseconds lineTime(std::size_t bytes, int bitsPerSecond);

class LineWriter {
public:
    // jobGap: the least silence between a job that ended with a parameter and
    // the next. The printer ends a variable-length parameter (the year of a
    // date, a layout) by silence, so such a job must not be followed at once;
    // a lone command letter ("!", "u", "T") needs no silence after it.
    explicit LineWriter(SendFn send, std::chrono::microseconds jobGap = kLongPause);
    explicit LineWriter(LineIo io, std::chrono::microseconds jobGap = kLongPause);
    // Pending jobs are cancelled (their done still runs) and a pause under way
    // is cut short; returns once the worker has ended.
    ~LineWriter();
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

    // Queue a job and return at once; done and progress run on the writer's thread.
    void submit(Job job, DoneFn done = {}, ProgressFn progress = {});
    // Queue a job and wait for its end. Called from within a done or progress
    // callback it runs the job right there, as it would deadlock otherwise.
    JobResult run(Job job, ProgressFn progress = {});

    // A job is running or waiting.
    bool busy() const;
    // Drop the jobs not yet started.
    void cancelPending();
    // Drop the jobs not yet started and stop the one under way at its next
    // write or pause; returns once no write is under way.
    void cancelAll();
    // Cancel everything, also the job under way at its next write or pause;
    // later jobs are cancelled at once. The worker ends with the destructor.
    void shutdown();

private:
    struct Entry {
        Job job;
        DoneFn done;
        ProgressFn progress;
    };
    void work();
    JobResult execute(const Job& job, const ProgressFn& progress);
    static JobResult cancelledResult(const Job& job);

    bool cancelled(unsigned generation) const;
    // Sleeps until t; false when cut short by a stop or cancelAll.
    bool sleepUntil(std::chrono::steady_clock::time_point t, unsigned generation);

    LineIo io_;
    const std::chrono::microseconds jobGap_;
    // When the bytes written so far will have crossed the wire, by the line's rate.
    std::chrono::steady_clock::time_point wireFree_{};  // worker thread only
    bool lastWasParameter_ = false;                       // worker thread only
    mutable std::mutex mutex_;
    std::condition_variable wake_;   // new job or stop
    std::condition_variable pause_;  // cut a pause short on stop
    std::deque<Entry> queue_;
    bool running_ = false;
    bool stopping_ = false;
    std::atomic<bool> stopRequested_{false};
    std::atomic<unsigned> generation_{0};  // cancelAll moves it on
    std::condition_variable idle_;         // no job under way
    std::thread worker_;
};

} // namespace korvel::printer
