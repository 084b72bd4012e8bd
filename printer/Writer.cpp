#include "Writer.h"

#include <algorithm>
#include <exception>
#include <future>

namespace korvel::printer {

std::chrono::microseconds lineTime(std::size_t bytes, int bitsPerSecond)
{
    if (bitsPerSecond <= 0)
        return std::chrono::microseconds{0};
    return std::chrono::microseconds(std::int64_t(bytes) * 10 * 1000000 / bitsPerSecond);
}

LineWriter::LineWriter(SendFn send, std::chrono::microseconds jobGap)
    : LineWriter(LineIo{std::move(send), {}, {}}, jobGap)
{
}

LineWriter::LineWriter(LineIo io, std::chrono::microseconds jobGap)
    : io_(std::move(io)), jobGap_(jobGap), worker_([this] { work(); })
{
}

LineWriter::~LineWriter()
{
    shutdown();
    worker_.join();
}

void LineWriter::shutdown()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        stopRequested_ = true;
    }
    wake_.notify_all();
    pause_.notify_all(); // the worker reports what is left as cancelled, in order
}

void LineWriter::submit(Job job, DoneFn done, ProgressFn progress)
{
    {
        std::lock_guard lock(mutex_);
        if (!stopping_) {
            queue_.push_back(Entry{std::move(job), std::move(done), std::move(progress)});
            wake_.notify_one();
            return;
        }
    }
    if (done)
        done(cancelledResult(job));
}

JobResult LineWriter::run(Job job, ProgressFn progress)
{
    if (std::this_thread::get_id() == worker_.get_id())
        return execute(job, progress);
    auto promise = std::make_shared<std::promise<JobResult>>();
    auto result = promise->get_future();
    submit(std::move(job), [promise](const JobResult& r) { promise->set_value(r); }, std::move(progress));
    return result.get();
}

bool LineWriter::busy() const
{
    std::lock_guard lock(mutex_);
    return running_ || !queue_.empty();
}

void LineWriter::cancelPending()
{
    std::deque<Entry> dropped;
    {
        std::lock_guard lock(mutex_);
        dropped.swap(queue_);
    }
    for (Entry& e : dropped)
        if (e.done)
            e.done(cancelledResult(e.job));
}

void LineWriter::cancelAll()
{
    std::unique_lock lock(mutex_);
    ++generation_;
    std::deque<Entry> dropped;
    dropped.swap(queue_);
    pause_.notify_all();
    if (std::this_thread::get_id() != worker_.get_id())
        idle_.wait(lock, [this] { return !running_; });
    lock.unlock();
    for (Entry& e : dropped)
        if (e.done)
            e.done(cancelledResult(e.job));
}

bool LineWriter::cancelled(unsigned generation) const
{
    return stopRequested_ || generation_ != generation;
}

bool LineWriter::sleepUntil(std::chrono::steady_clock::time_point t, unsigned generation)
{
    std::unique_lock lock(mutex_);
    return !pause_.wait_until(lock, t, [&] { return stopping_ || generation_ != generation; });
}

JobResult LineWriter::cancelledResult(const Job& job)
{
    JobResult r;
    r.cancelled = true;
    r.jobName = job.name;
    r.error = "\"" + job.name + "\" was cancelled before it reached the printer";
    return r;
}

void LineWriter::work()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty())
            return; // stopping, nothing left
        Entry entry = std::move(queue_.front());
        queue_.pop_front();
        running_ = true;
        const bool stop = stopping_;
        const unsigned generation = generation_;
        lock.unlock();
        const JobResult result = stop || generation != generation_ ? cancelledResult(entry.job)
                                                                   : execute(entry.job, entry.progress);
        lock.lock();
        // Not busy any more by the time the caller hears of the end.
        running_ = false;
        idle_.notify_all();
        std::deque<Entry> dropped;
        if (!result.ok && !result.cancelled)
            dropped.swap(queue_); // the line failed: what waits behind would meet it too
        if (!dropped.empty()) {
            lock.unlock();
            for (Entry& e : dropped)
                if (e.done)
                    e.done(cancelledResult(e.job));
            lock.lock();
        }
        if (entry.done) {
            lock.unlock();
            entry.done(result);
            lock.lock();
        }
    }
}

JobResult LineWriter::execute(const Job& job, const ProgressFn& progress)
{
    using Clock = std::chrono::steady_clock;
    const unsigned generation = generation_;
    const int rate = io_.bitsPerSecond ? io_.bitsPerSecond() : 0;
    const auto byteTime = std::chrono::duration_cast<Clock::duration>(lineTime(1, rate));
    JobResult result;
    result.jobName = job.name;
    const std::size_t total = job.steps.size();
    auto interrupted = [&] {
        JobResult r = cancelledResult(job);
        r.stepsDone = result.stepsDone;
        return r;
    };
    // Until the bytes written so far have left the port.
    auto waitForWire = [&]() -> bool {
        if (io_.drain) {
            const auto asked = Clock::now();
            try {
                // A port that needed time to empty was slower than the clock says.
                if (io_.drain() && Clock::now() - asked > std::chrono::milliseconds(1))
                    wireFree_ = std::max(wireFree_, Clock::now());
            } catch (...) {
                // the write that follows tells of a port that is gone
            }
        }
        return sleepUntil(wireFree_, generation);
    };
    bool first = true;
    for (const Step& step : job.steps) {
        if (cancelled(generation)) // an upload has thousands of writes: do not finish it for nobody
            return interrupted();
        auto pause = std::chrono::duration_cast<Clock::duration>(step.pauseBefore);
        if (first && lastWasParameter_)
            pause = std::max(pause, std::chrono::duration_cast<Clock::duration>(jobGap_));
        first = false;
        if (pause.count() > 0) {
            // Silence on the wire: the pause starts once the bytes before it have left.
            if (!waitForWire())
                return interrupted();
            if (!sleepUntil(wireFree_ + pause, generation)) // silence already kept counts
                return interrupted();
        } else if (rate > 0 && !sleepUntil(wireFree_ - byteTime * std::int64_t(kBytesAhead), generation)) {
            return interrupted();
        }
        std::uint32_t written = 0;
        try {
            written = io_.send(step.bytes);
            wireFree_ = std::max(Clock::now(), wireFree_) + byteTime * std::int64_t(written);
            lastWasParameter_ = result.stepsDone > 0;
        } catch (const std::exception& e) {
            result.error = e.what();
            return result;
        } catch (...) {
            result.error = "\"" + job.name + "\" failed with an unknown error";
            return result;
        }
        if (written < step.bytes.size()) {
            result.error = "\"" + job.name + "\" did not reach the printer: " + std::to_string(written) +
                           " of " + std::to_string(step.bytes.size()) + " bytes of write " +
                           std::to_string(result.stepsDone + 1) + " of " + std::to_string(total) +
                           " were written";
            return result;
        }
        ++result.stepsDone;
        if (progress)
            progress(result.stepsDone, total);
    }
    // A job ends when its last byte has crossed.
    if (!waitForWire())
        return interrupted();
    result.ok = true;
    return result;
}

} // namespace korvel::printer
